// A bus shim for the client's tests: records what the client hands to the bus, rejects on
// demand, and lets a test deliver messages and settle requests as the bus library would.
#pragma once

#include "message/Message.h"
#include "messagebus/MessageBusShim.h"

#include <map>
#include <mutex>
#include <vector>

namespace kstest {

class RecordingShim final : public Tessel::MessageBusShim {
public:
    struct Published {
        std::wstring name;
        uint32_t flags = 0;
        uint64_t replyToken = 0;
        bool secondChannel = false;
    };
    struct Request {
        uint64_t replyIndex = 0;
        Tessel::ReplyFunction* replyFunction = nullptr;
        uint32_t timeoutMs = 0;
        bool secondChannel = false;
    };

    ~RecordingShim() override;

    Tessel::ModuleStatus publish(const std::shared_ptr<Tessel::Message>& message, bool secondChannel) override;
    Tessel::ModuleStatus request(const std::shared_ptr<Tessel::Message>& message, uint64_t replyIndex,
                                 Tessel::ReplyFunction* replyFunction, uint32_t timeoutMs,
                                 bool secondChannel) override;
    void handOverReplyTrampoline() override;
    MessageBusSubscription subscribe(const std::wstring& name, Tessel::MessageCallback* context) override;
    MessageBusSubscription subscribeFilter(const std::wstring& pattern, Tessel::MessageCallback* context) override;
    void unsubscribe(MessageBusSubscription subscription) override;

    // Failure injection: the status of the n-th publish (0-based) / of every request, and whether
    // subscriptions are refused.
    void failPublish(size_t index, Tessel::ModuleStatus status);
    void failRequests(Tessel::ModuleStatus status);
    void refuseSubscriptions(bool refuse);

    // Delivers a raw message to every live subscription of `name`, through the real trampoline.
    void deliver(const std::wstring& name, const MessageOptions& options, const std::wstring& payload);

    std::vector<Published> published() const;
    std::vector<Request> requests() const;
    std::vector<MessageBusSubscription> unsubscribed() const;
    size_t liveSubscriptions() const;
    bool handedOver() const;

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
    bool m_handedOver = false;
};

} // namespace kstest
