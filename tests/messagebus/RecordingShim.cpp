// Recording bus shim for the client's tests.
#include "RecordingShim.h"

#include "messagebus/BusTrampolines.h"

namespace kstest {

RecordingShim::~RecordingShim() = default;

Tessel::ModuleStatus RecordingShim::publish(const std::shared_ptr<Tessel::Message>& message, bool secondChannel)
{
    if (!message)
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(m_lock);
    size_t index = m_published.size();
    m_published.push_back({message->name(), message->options().flags, message->options().replyToken, secondChannel});
    auto failure = m_publishFailures.find(index);
    return failure == m_publishFailures.end() ? Tessel::MODULE_STATUS_SUCCESS : failure->second;
}

Tessel::ModuleStatus RecordingShim::request(const std::shared_ptr<Tessel::Message>& message, uint64_t replyIndex,
                                            Tessel::ReplyFunction* replyFunction, uint32_t timeoutMs,
                                            bool secondChannel)
{
    if (!message)
        return Tessel::MODULE_STATUS_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(m_lock);
    m_requests.push_back({replyIndex, replyFunction, timeoutMs, secondChannel});
    return m_requestStatus;
}

void RecordingShim::handOverReplyTrampoline()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_handedOver = true;
}

MessageBusSubscription RecordingShim::subscribe(const std::wstring& name, Tessel::MessageCallback* context)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_refuseSubscriptions)
        return nullptr;
    auto handle = reinterpret_cast<MessageBusSubscription>(m_nextHandle++);
    m_subscriptions[handle] = {name, context};
    return handle;
}

MessageBusSubscription RecordingShim::subscribeFilter(const std::wstring& pattern, Tessel::MessageCallback* context)
{
    return subscribe(pattern, context);
}

void RecordingShim::unsubscribe(MessageBusSubscription subscription)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_unsubscribed.push_back(subscription);
    m_subscriptions.erase(subscription);
}

void RecordingShim::failPublish(size_t index, Tessel::ModuleStatus status)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_publishFailures[index] = status;
}

void RecordingShim::failRequests(Tessel::ModuleStatus status)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_requestStatus = status;
}

void RecordingShim::refuseSubscriptions(bool refuse)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_refuseSubscriptions = refuse;
}

void RecordingShim::deliver(const std::wstring& name, const MessageOptions& options, const std::wstring& payload)
{
    std::vector<Tessel::MessageCallback*> targets;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const auto& [handle, subscription] : m_subscriptions) {
            if (subscription.first == name)
                targets.push_back(subscription.second);
        }
    }
    for (Tessel::MessageCallback* context : targets)
        Tessel::messageTrampoline(context, &options, name.c_str(), L"Sender", payload.c_str());
}

std::vector<RecordingShim::Published> RecordingShim::published() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_published;
}

std::vector<RecordingShim::Request> RecordingShim::requests() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_requests;
}

std::vector<MessageBusSubscription> RecordingShim::unsubscribed() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_unsubscribed;
}

size_t RecordingShim::liveSubscriptions() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_subscriptions.size();
}

bool RecordingShim::handedOver() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_handedOver;
}

} // namespace kstest
