// Tessel::MessageBusClient: the module's typed client over the suite's message bus.
//
// It keeps the subscriptions of this module, grouped by alias, publishes messages (a reply also
// as a plain copy for ordinary subscribers), and sends requests whose answers come back through
// a Tessel::Reply or a completion callable. Subscriber callbacks and reply settling run on the
// bus library's threads; direct dispatch runs on the caller's thread.
//
// Lifetime: destruction ends every subscription still held and releases the shim before the
// tables go, so no bus callback can reach a destroyed client; a request still pending then ends
// with reply status 3 (no usable reply).
#pragma once

#include "message/ReplyImpl.h"
#include "messagebus/DeliveryGate.h"
#include "messagebus/MessageBus.h"
#include "messagebus/MessageBusShim.h"

#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <string>

namespace Tessel {

class ProcessAPI;

class MessageBusClient final : public MessageBus {
public:
    // Loads the bus library itself (Tessel::MessageBusLib); throws Tessel::ModuleException when
    // the bus cannot be reached.
    MessageBusClient();
    // Null arguments get their defaults (the loaded bus library, the system's process service).
    MessageBusClient(std::shared_ptr<MessageBusShim> shim, std::shared_ptr<ProcessAPI> processApi);
    ~MessageBusClient() override;

    ModuleStatus publish(const std::shared_ptr<Message>& message) override;
    ModuleStatus publish(const std::shared_ptr<Message>& message, SecondChannel) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, CompletionCallback completion,
                         uint32_t timeoutMs) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply,
                         uint32_t timeoutMs) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, CompletionCallback completion, uint32_t timeoutMs,
                         SecondChannel) override;
    ModuleStatus request(const std::shared_ptr<Message>& message, std::shared_ptr<Reply>& reply, uint32_t timeoutMs,
                         SecondChannel) override;
    ModuleStatus subscribe(const std::wstring& name, const std::wstring& alias, MessageCallback callback) override;
    ModuleStatus subscribe(const std::wstring& name, MessageCallback callback) override;
    ModuleStatus subscribe(const std::wstring& name, const std::wstring& alias, MessageCallback callback,
                           OwnSession) override;
    ModuleStatus subscribe(const std::wstring& name, MessageCallback callback, OwnSession) override;
    ModuleStatus subscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                 MessageCallback callback) override;
    ModuleStatus subscribeFilter(const std::wstring& pattern, MessageCallback callback) override;
    ModuleStatus subscribeFilter(const std::wstring& pattern, const std::wstring& alias, MessageCallback callback,
                                 OwnSession) override;
    ModuleStatus subscribeFilter(const std::wstring& pattern, MessageCallback callback, OwnSession) override;
    ModuleStatus unsubscribe(const std::wstring& alias) override;

    // Calls, on this thread, every subscription whose name equals the message's name or whose
    // pattern matches all of it, as if the message had come over the bus.
    ModuleStatus dispatchDirect(const std::shared_ptr<Message>& message);

    // Settles the pending request `replyIndex`: a message with status 0 fulfils its reply, any
    // other status fails it. MODULE_STATUS_NOT_FOUND for an index not (or no longer) pending.
    ModuleStatus replyCallback(uint64_t replyIndex, std::shared_ptr<Message> message, ModuleStatus status);

    // The session messages of the own-session subscriptions must belong to (0: no filter).
    uint32_t sessionId() const { return m_sessionId; }

private:
    // What the bus calls for one subscription: the subscriber's callable behind the gate. Its
    // address is the bus's context for this subscription, so it lives on the heap.
    struct Delivery {
        std::shared_ptr<DeliveryGate> gate;
        std::shared_ptr<MessageCallback> callback;
    };
    struct NameSubscription {
        MessageBusSubscription handle = nullptr;
        std::wstring name;
        Delivery delivery;
    };
    struct PatternSubscription {
        MessageBusSubscription handle = nullptr;
        std::wstring pattern;
        std::wregex regex;
        Delivery delivery;
    };
    struct SubscriptionGroup {
        std::list<NameSubscription> names;
        std::list<PatternSubscription> patterns;
    };
    struct PendingReply {
        ReplyPromise promise;
        CompletionCallback completion;
    };

    void findSessionId();
    ModuleStatus internalPublish(const std::shared_ptr<Message>& message, bool secondChannel);
    ModuleStatus internalRequest(const std::shared_ptr<Message>& message, CompletionCallback completion,
                                 std::shared_ptr<Reply>* reply, uint32_t timeoutMs, bool secondChannel);
    ModuleStatus addPendingReply(CompletionCallback completion, uint64_t& index, ReplyFuture& future);
    ModuleStatus internalSubscribe(const std::wstring& name, const std::wstring& alias, MessageCallback callback);
    ModuleStatus internalSubscribeFilter(const std::wstring& pattern, const std::wstring& alias,
                                         MessageCallback callback);
    MessageCallback sessionFiltered(MessageCallback callback) const;
    static Delivery gated(MessageCallback callback);
    // Ends the subscriptions taken out of the table: the bus is told, then their deliveries in
    // flight are waited for. Called without m_subscriptionLock, which a delivery may need.
    void endSubscriptions(std::vector<std::pair<MessageBusSubscription, Delivery>>& ended);
    void unsubscribeAll();

    std::shared_ptr<MessageBusShim> m_shim;
    std::shared_ptr<ProcessAPI> m_processApi;

    std::mutex m_subscriptionLock;
    std::map<std::wstring, SubscriptionGroup> m_subscriptions;  // written under m_subscriptionLock
    // Callables that unsubscribed themselves while running: kept until the client goes.
    std::vector<std::shared_ptr<MessageCallback>> m_retired;     // written under m_subscriptionLock

    std::mutex m_replyLock;
    uint64_t m_nextReplyIndex = 0;                        // written under m_replyLock
    std::map<uint64_t, PendingReply> m_pendingReplies;    // written under m_replyLock
    // The bus's reply context for every request of this client.
    ReplyFunction m_replyFunction;

    uint32_t m_sessionId = 0;
};

} // namespace Tessel
