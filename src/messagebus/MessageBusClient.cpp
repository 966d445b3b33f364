// Subscriptions, publishing and request/reply over the bus shim.
#include "messagebus/MessageBusClient.h"

#include "logging/internal_logging.h"
#include "message/Message.h"
#include "messagebus/MessageBusLib.h"
#include "messagebus/ProcessAPI.h"

#include <stdexcept>

namespace Tessel {
namespace {

constexpr auto kPatternFlags = std::regex::ECMAScript | std::regex::nosubs | std::regex::optimize;

} // namespace

MessageBusClient::MessageBusClient() : MessageBusClient(nullptr, nullptr) {}

MessageBusClient::MessageBusClient(std::shared_ptr<MessageBusShim> shim, std::shared_ptr<ProcessAPI> processApi)
    : m_shim(std::move(shim)), m_processApi(std::move(processApi))
{
    if (!m_shim)
        m_shim = std::make_shared<MessageBusLib>();
    if (!m_processApi)
        m_processApi = std::make_shared<ProcessAPI>();
    m_replyFunction = [this](uint64_t replyIndex, std::shared_ptr<Message> message, ModuleStatus status) {
        return replyCallback(replyIndex, std::move(message), status);
    };
    findSessionId();
}

MessageBusClient::~MessageBusClient()
{
    // The bus holds raw pointers to our callables: end the subscriptions and let the shim take
    // the reply trampoline back (or release the bus) while everything they point to still lives.
    unsubscribeAll();
    m_shim.reset();
    // Requests still pending now see a broken promise and end without a usable reply.
}

void MessageBusClient::findSessionId()
{
    long processId = static_cast<long>(m_processApi->currentProcessId());
    uint32_t session = 0;
    if (m_processApi->processIdToSessionId(static_cast<uint32_t>(processId), session)) {
        KSLOG_NORMAL(L"Found session id %ld for process %ld", static_cast<long>(session), processId);
        m_sessionId = session;
        return;
    }
    KSLOG_ERROR(L"Failed to get the session id for process %ld - defaulting to %ld", processId, 0L);
    m_sessionId = 0;
}

ModuleStatus MessageBusClient::publish(const std::shared_ptr<Message>& message)
{
    return internalPublish(message, false);
}

ModuleStatus MessageBusClient::publish(const std::shared_ptr<Message>& message, SecondChannel)
{
    return internalPublish(message, true);
}

ModuleStatus MessageBusClient::internalPublish(const std::shared_ptr<Message>& message, bool secondChannel)
{
    if (!message)
        return MODULE_STATUS_INVALID_PARAMETER;

    // The bus hands a reply only to its requester; ordinary subscribers of the name get a plain
    // copy unless the sender opted out with bit 3 or 4. Bit 4 also marks the copy as made.
    bool plainCopyDue = message->testFlag(MESSAGE_FLAG_BIT_REPLY) &&
                        !message->testFlag(MESSAGE_FLAG_BIT_NO_PLAIN_COPY_A) &&
                        !message->testFlag(MESSAGE_FLAG_BIT_NO_PLAIN_COPY_B);
    if (plainCopyDue)
        message->setFlag(MESSAGE_FLAG_BIT_NO_PLAIN_COPY_B);

    ModuleStatus status = m_shim->publish(message, secondChannel);
    if (status != MODULE_STATUS_SUCCESS) {
        KSLOG_ERROR(L"Failed to publish message. Error code %lu.", static_cast<unsigned long>(status));
        return status;
    }
    if (plainCopyDue) {
        message->clearFlag(MESSAGE_FLAG_BIT_REPLY);
        message->clearReplyToken();
        ModuleStatus copyStatus = m_shim->publish(message, secondChannel);
        if (copyStatus != MODULE_STATUS_SUCCESS)
            KSLOG_WARNING(L"Failed to publish non-reply copy of the message. Error code %lu.",
                          static_cast<unsigned long>(copyStatus));
    }
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus MessageBusClient::request(const std::shared_ptr<Message>& message, CompletionCallback completion,
                                       uint32_t timeoutMs)
{
    return internalRequest(message, std::move(completion), nullptr, timeoutMs, false);
}

ModuleStatus MessageBusClient::request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply,
                                       uint32_t timeoutMs)
{
    return internalRequest(message, nullptr, &reply, timeoutMs, false);
}

ModuleStatus MessageBusClient::request(const std::shared_ptr<Message>& message, CompletionCallback completion,
                                       uint32_t timeoutMs, SecondChannel)
{
    return internalRequest(message, std::move(completion), nullptr, timeoutMs, true);
}

ModuleStatus MessageBusClient::request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply,
                                       uint32_t timeoutMs, SecondChannel)
{
    return internalRequest(message, nullptr, &reply, timeoutMs, true);
}

ModuleStatus MessageBusClient::addPendingReply(CompletionCallback completion, uint64_t& index, ReplyFuture& future)
{
    std::lock_guard<std::mutex> lock(m_replyLock);
    index = m_nextReplyIndex++;
    try {
        PendingReply entry;
        entry.completion = std::move(completion);
        future = entry.promise.getFuture();
        m_pendingReplies.emplace(index, std::move(entry));
    } catch (const std::exception&) {
        KSLOG_ERROR(L"Unable to create reply promise. Returning.");
        return MODULE_STATUS_UNSUCCESSFUL;
    }
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus MessageBusClient::internalRequest(const std::shared_ptr<Message>& message, CompletionCallback completion,
                                               std::shared_ptr<Reply>* reply, uint32_t timeoutMs, bool secondChannel)
{
    uint64_t index = 0;
    ReplyFuture future;
    ModuleStatus status = addPendingReply(std::move(completion), index, future);
    if (status != MODULE_STATUS_SUCCESS)
        return status;

    status = m_shim->request(message, index, &m_replyFunction, timeoutMs, secondChannel);
    if (status != MODULE_STATUS_SUCCESS) {
        {
            std::lock_guard<std::mutex> lock(m_replyLock);
            m_pendingReplies.erase(index);
        }
        KSLOG_ERROR(L"Failed to make request. Error code %lu.", static_cast<unsigned long>(status));
        return status;
    }
    if (reply)
        *reply = std::make_shared<ReplyImpl>(std::move(future), timeoutMs);
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus MessageBusClient::replyCallback(uint64_t replyIndex, std::shared_ptr<Message> message,
                                             ModuleStatus status)
{
    // Taken out whole, so the entry is settled outside the lock without building a spare promise.
    decltype(m_pendingReplies)::node_type node;
    {
        std::lock_guard<std::mutex> lock(m_replyLock);
        auto it = m_pendingReplies.find(replyIndex);
        if (it == m_pendingReplies.end()) {
            KSLOG_WARNING(L"Reply index not found. Returning");
            return MODULE_STATUS_NOT_FOUND;
        }
        node = m_pendingReplies.extract(it);
    }
    PendingReply& entry = node.mapped();

    if (status == MODULE_STATUS_SUCCESS)
        entry.promise.setMessage(std::move(message));
    else
        entry.promise.setFailed();

    if (entry.completion) {
        try {
            entry.completion();
        } catch (...) {
            // A completion's failure is its own; the reply is settled either way.
        }
    }
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus MessageBusClient::subscribe(const std::wstring& name, const std::wstring& alias,
                                         MessageCallback callback)
{
    return internalSubscribe(name, alias, std::move(callback));
}

ModuleStatus MessageBusClient::subscribe(const std::wstring& name, MessageCallback callback)
{
    return internalSubscribe(name, name, std::move(callback));
}

ModuleStatus MessageBusClient::subscribe(const std::wstring& name, const std::wstring& alias,
                                         MessageCallback callback, OwnSession)
{
    return internalSubscribe(name, alias, sessionFiltered(std::move(callback)));
}

ModuleStatus MessageBusClient::subscribe(const std::wstring& name, MessageCallback callback, OwnSession)
{
    return internalSubscribe(name, name, sessionFiltered(std::move(callback)));
}

ModuleStatus MessageBusClient::subscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                               MessageCallback callback)
{
    return internalSubscribeFilter(pattern, alias, std::move(callback));
}

ModuleStatus MessageBusClient::subscribeFilter(const std::wstring& pattern, MessageCallback callback)
{
    return internalSubscribeFilter(pattern, pattern, std::move(callback));
}

ModuleStatus MessageBusClient::subscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                               MessageCallback callback, OwnSession)
{
    return internalSubscribeFilter(pattern, alias, sessionFiltered(std::move(callback)));
}

ModuleStatus MessageBusClient::subscribeFilter(const std::wstring& pattern, MessageCallback callback, OwnSession)
{
    return internalSubscribeFilter(pattern, pattern, sessionFiltered(std::move(callback)));
}

MessageCallback MessageBusClient::sessionFiltered(MessageCallback callback) const
{
    if (m_sessionId == 0)
        return callback;
    uint32_t ownSessionId = m_sessionId;
    return [ownSessionId, callback = std::move(callback)](std::shared_ptr<Message> message) -> uint32_t {
        if (message) {
            std::optional<MessageOptionsVersionTwo> versionTwo = message->versionTwoPart();
            if (versionTwo && versionTwo->sessionId != 0 && versionTwo->sessionId != ownSessionId)
                return MODULE_STATUS_SUCCESS;
        }
        return callback(std::move(message));
    };
}

MessageBusClient::Delivery MessageBusClient::gated(MessageCallback callback)
{
    auto gate = std::make_shared<DeliveryGate>();
    auto guarded = [gate, callback = std::move(callback)](std::shared_ptr<Message> message) -> uint32_t {
        DeliveryGate::Pass pass(*gate);
        return pass ? callback(std::move(message)) : MODULE_STATUS_SUCCESS;
    };
    return Delivery{std::move(gate), std::make_shared<MessageCallback>(std::move(guarded))};
}

ModuleStatus MessageBusClient::internalSubscribe(const std::wstring& name, const std::wstring& alias,
                                                 MessageCallback callback)
{
    Delivery delivery = gated(std::move(callback));
    std::lock_guard<std::mutex> lock(m_subscriptionLock);
    SubscriptionGroup& group = m_subscriptions[alias];
    NameSubscription& entry = group.names.emplace_back(NameSubscription{nullptr, name, std::move(delivery)});
    MessageBusSubscription handle = m_shim->subscribe(name, entry.delivery.callback.get());
    if (!handle) {
        KSLOG_ERROR(L"Failed to subscribe. Alias: %ls Message name: %ls", alias.c_str(), name.c_str());
        group.names.pop_back();
        if (group.names.empty() && group.patterns.empty())
            m_subscriptions.erase(alias);
        return MODULE_STATUS_UNSUCCESSFUL;
    }
    entry.handle = handle;
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus MessageBusClient::internalSubscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                                       MessageCallback callback)
{
    std::wregex regex;
    try {
        regex.assign(pattern, kPatternFlags);
    } catch (const std::regex_error& error) {
        KSLOG_ERROR(L"subscribeFilter failed. Regex error with regex \"%ls\" [caught: %hs]", pattern.c_str(),
                    error.what());
        return MODULE_STATUS_INVALID_PARAMETER;
    }

    Delivery delivery = gated(std::move(callback));
    std::lock_guard<std::mutex> lock(m_subscriptionLock);
    SubscriptionGroup& group = m_subscriptions[alias];
    PatternSubscription& entry =
        group.patterns.emplace_back(PatternSubscription{nullptr, pattern, std::move(regex), std::move(delivery)});
    MessageBusSubscription handle = m_shim->subscribeFilter(pattern, entry.delivery.callback.get());
    if (!handle) {
        KSLOG_ERROR(L"Failed to subscribeFilter. Alias: %ls Message nameRegex: %ls", alias.c_str(), pattern.c_str());
        group.patterns.pop_back();
        if (group.names.empty() && group.patterns.empty())
            m_subscriptions.erase(alias);
        return MODULE_STATUS_UNSUCCESSFUL;
    }
    entry.handle = handle;
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus MessageBusClient::unsubscribe(const std::wstring& alias)
{
    std::vector<std::pair<MessageBusSubscription, Delivery>> ended;
    {
        std::lock_guard<std::mutex> lock(m_subscriptionLock);
        auto it = m_subscriptions.find(alias);
        if (it == m_subscriptions.end()) {
            KSLOG_WARNING(L"Subscription not found. Alias: %ls.", alias.c_str());
            return MODULE_STATUS_SUCCESS;
        }
        for (NameSubscription& entry : it->second.names)
            ended.emplace_back(entry.handle, std::move(entry.delivery));
        for (PatternSubscription& entry : it->second.patterns)
            ended.emplace_back(entry.handle, std::move(entry.delivery));
        m_subscriptions.erase(it);
    }
    endSubscriptions(ended);
    return MODULE_STATUS_SUCCESS;
}

void MessageBusClient::unsubscribeAll()
{
    std::vector<std::pair<MessageBusSubscription, Delivery>> ended;
    {
        std::lock_guard<std::mutex> lock(m_subscriptionLock);
        for (auto& [alias, group] : m_subscriptions) {
            for (NameSubscription& entry : group.names)
                ended.emplace_back(entry.handle, std::move(entry.delivery));
            for (PatternSubscription& entry : group.patterns)
                ended.emplace_back(entry.handle, std::move(entry.delivery));
        }
        m_subscriptions.clear();
    }
    endSubscriptions(ended);
}

void MessageBusClient::endSubscriptions(std::vector<std::pair<MessageBusSubscription, Delivery>>& ended)
{
    for (auto& [handle, delivery] : ended) {
        m_shim->unsubscribe(handle);
        if (delivery.gate->close()) {
            std::lock_guard<std::mutex> lock(m_subscriptionLock);
            m_retired.push_back(std::move(delivery.callback));
        }
    }
}

ModuleStatus MessageBusClient::dispatchDirect(const std::shared_ptr<Message>& message)
{
    if (!message)
        return MODULE_STATUS_SUCCESS;
    // Called outside the lock, so a callable may subscribe or unsubscribe on this client.
    std::vector<std::shared_ptr<MessageCallback>> matching;
    {
        std::lock_guard<std::mutex> lock(m_subscriptionLock);
        for (const auto& [alias, group] : m_subscriptions) {
            for (const NameSubscription& entry : group.names) {
                if (entry.name == message->name())
                    matching.push_back(entry.delivery.callback);
            }
            for (const PatternSubscription& entry : group.patterns) {
                if (std::regex_match(message->name(), entry.regex))
                    matching.push_back(entry.delivery.callback);
            }
        }
    }
    for (const auto& callback : matching) {
        try {
            (*callback)(message);
        } catch (...) {
            // One subscriber's failure must not keep the message from the others.
        }
    }
    return MODULE_STATUS_SUCCESS;
}

} // namespace Tessel
