// The in-process broker behind every open bus handle: subscriptions by name or pattern, queued
// deliveries on the worker pool, pending requests with their time-outs, and the handles' state.
#pragma once

#include "Envelope.h"
#include "busapi/MessageBusApi.h"
#include "WorkerPool.h"

#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace messagebus {

class Broker {
public:
    Broker();
    ~Broker();

    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    void openHandle(uint64_t handleId);
    // First step of release: the handle stops accepting publishes, requests and subscriptions.
    // Returns false when the handle is unknown or already closing.
    bool closeHandle(uint64_t handleId);
    // True when `handleId` is open and no other handle is.
    bool isLastOpenHandle(uint64_t handleId) const;
    bool isWorkerThread() const { return m_pool.isWorkerThread(); }
    // Second step for a handle that was not the last: delivers what is queued to its subscriptions,
    // ends them, and answers its pending requests with MESSAGEBUS_STATUS_SHUTDOWN.
    void finishRelease(uint64_t handleId);
    // Second step for the last handle: answers every pending request, delivers everything queued
    // and joins all threads.
    void shutdown();

    uint32_t publish(uint64_t handleId, const MessageOptions& options, const wchar_t* name, const wchar_t* alias,
                     const wchar_t* payload);

    struct ReplyTarget {
        void* context;
        uint64_t index;
        MessageBusReplyTrampoline trampoline;
    };
    uint32_t request(uint64_t handleId, const ReplyTarget& target, const MessageOptions& options,
                     const wchar_t* name, const wchar_t* alias, const wchar_t* payload, uint32_t timeoutMs);

    // 0 on failure.
    uint64_t subscribe(uint64_t handleId, void* context, MessageBusMessageTrampoline trampoline,
                       const wchar_t* nameOrPattern, bool isPattern);
    void unsubscribe(uint64_t handleId, uint64_t subscriptionId);
    void handOverReply(uint64_t handleId, MessageBusReplyTrampoline trampoline);

private:
    struct Subscription {
        uint64_t id;
        uint64_t handleId;
        void* context;
        MessageBusMessageTrampoline trampoline;
        std::wstring name;
        std::optional<std::wregex> pattern;
        std::shared_ptr<Strand> strand;
    };
    struct HandleState {
        bool closing = false;
        std::shared_ptr<Strand> replyStrand;  // reply trampolines of this handle, one at a time
        std::set<MessageBusReplyTrampoline> handedBack;
    };
    struct PendingRequest {
        uint64_t handleId;
        ReplyTarget target;
        std::chrono::steady_clock::time_point deadline;
    };

    // The *Locked helpers run with m_mutex held.
    std::shared_ptr<HandleState> openHandleStateLocked(uint64_t handleId) const;
    std::vector<std::shared_ptr<Subscription>> matchingSubscriptionsLocked(const std::wstring& name) const;
    Stamp nextStampLocked(uint64_t handleId);
    void deliverLocked(const std::shared_ptr<Envelope>& envelope);
    void postReplyLocked(uint64_t handleId, const ReplyTarget& target, std::shared_ptr<Envelope> envelope,
                         uint32_t status);
    void answerPendingLocked(const std::shared_ptr<Envelope>& reply);
    void failPendingLocked(const std::function<bool(const PendingRequest&)>& select, uint32_t status);
    void runReply(const std::shared_ptr<HandleState>& handle, const ReplyTarget& target,
                  const std::shared_ptr<Envelope>& envelope, uint32_t status);
    void timerLoop();

    const uint32_t m_processId;
    const uint32_t m_sessionId;
    WorkerPool m_pool;

    mutable SlimMutex m_mutex;
    // Written under m_mutex: the tables below, the counters, m_stopping and m_timerDeadline. The
    // handed-back sets in the HandleState records too.
    std::map<uint64_t, std::shared_ptr<HandleState>> m_handles;
    std::map<uint64_t, std::shared_ptr<Subscription>> m_subscriptions;
    std::map<uint64_t, PendingRequest> m_pending;  // by request token
    uint64_t m_nextToken = 1;
    uint64_t m_nextMessage = 1;
    bool m_stopping = false;
    // When the timer thread wakes next (max: not before it is woken). A request wakes it only when
    // its own deadline comes earlier; otherwise the timer finds the request when it wakes anyway.
    std::chrono::steady_clock::time_point m_timerDeadline = std::chrono::steady_clock::time_point::max();
    SlimCondition m_timerWake;
    std::thread m_timer;
};

// Subscription handles are unique across every broker of the process.
uint64_t nextSubscriptionId();

} // namespace messagebus
