// A bus shim for the client's tests: records what the client hands to the bus, rejects on
// demand, and lets a test deliver messages and settle requests as the bus library would.
#pragma once

#include "message/Message.h"
#include "messagebus/BusTrampolines.h"
#include "messagebus/MessageBusShim.h"

#include <map>
#include <mutex>
#include <vector>

namespace kstest {

class RecordingShim final : public Tessel::MessageBusShim {
    template <typename F>
    auto locked(F f) const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return f();
    }

public:
    struct Published {
        std::wstring name;
        uint32_t flags = 0;
        uint64_t replyToken = 0;
    };
    struct Request {
        uint64_t replyIndex = 0;
        Tessel::ReplyFunction* replyFunction = nullptr;
    };

    Tessel::ModuleStatus publish(const std::shared_ptr<Tessel::Message>& message, bool) override
    {
        if (!message)
            return Tessel::MODULE_STATUS_INVALID_PARAMETER;
        std::lock_guard<std::mutex> lock(m_lock);
        m_published.push_back({message->name(), message->options().flags, message->options().replyToken});
        auto failure = m_publishFailures.find(m_published.size() - 1);
        return failure == m_publishFailures.end() ? Tessel::MODULE_STATUS_SUCCESS : failure->second;
    }
    Tessel::ModuleStatus request(const std::shared_ptr<Tessel::Message>& message, uint64_t replyIndex,
                                 Tessel::ReplyFunction* replyFunction, uint32_t, bool) override
    {
        if (!message)
            return Tessel::MODULE_STATUS_INVALID_PARAMETER;
        std::lock_guard<std::mutex> lock(m_lock);
        m_requests.push_back({replyIndex, replyFunction});
        return m_requestStatus;
    }
    void handOverReplyTrampoline() override {}
    MessageBusSubscription subscribe(const std::wstring& name, Tessel::MessageCallback* context) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_refuseSubscriptions)
            return nullptr;
        auto handle = reinterpret_cast<MessageBusSubscription>(m_nextHandle++);
        m_subscriptions[handle] = {name, context};
        return handle;
    }
    MessageBusSubscription subscribeFilter(const std::wstring& pattern, Tessel::MessageCallback* context) override
    {
        return subscribe(pattern, context);
    }
    void unsubscribe(MessageBusSubscription subscription) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_unsubscribed.push_back(subscription);
        m_subscriptions.erase(subscription);
    }

    // Failure injection: the status of the n-th publish (0-based) / of every request, and whether
    // subscriptions are refused.
    void failPublish(size_t index, Tessel::ModuleStatus status) { locked([&] { m_publishFailures[index] = status; }); }
    void failRequests(Tessel::ModuleStatus status) { locked([&] { m_requestStatus = status; }); }
    void refuseSubscriptions(bool refuse) { locked([&] { m_refuseSubscriptions = refuse; }); }

    // Delivers a raw message to every live subscription of `name`, through the real trampoline.
    void deliver(const std::wstring& name, const MessageOptions& options, const std::wstring& payload)
    {
        std::vector<Tessel::MessageCallback*> targets;
        locked([&] {
            for (const auto& [handle, subscription] : m_subscriptions)
                if (subscription.first == name)
                    targets.push_back(subscription.second);
        });
        for (Tessel::MessageCallback* context : targets)
            Tessel::messageTrampoline(context, &options, name.c_str(), L"Sender", payload.c_str());
    }

    std::vector<Published> published() const { return locked([&] { return m_published; }); }
    std::vector<Request> requests() const { return locked([&] { return m_requests; }); }
    std::vector<MessageBusSubscription> unsubscribed() const { return locked([&] { return m_unsubscribed; }); }
    size_t liveSubscriptions() const { return locked([&] { return m_subscriptions.size(); }); }

private:
    mutable std::mutex m_lock;
    std::vector<Published> m_published;
    std::map<size_t, Tessel::ModuleStatus> m_publishFailures;
    Tessel::ModuleStatus m_requestStatus = 0;
    bool m_refuseSubscriptions = false;
    std::vector<Request> m_requests;
    std::map<MessageBusSubscription, std::pair<std::wstring, Tessel::MessageCallback*>> m_subscriptions;
    std::vector<MessageBusSubscription> m_unsubscribed;
    uintptr_t m_nextHandle = 0x1000;
};

} // namespace kstest
