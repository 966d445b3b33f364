// The broker: who receives a message, pending requests and their time-outs, handle release.
#include "Broker.h"

#include "common/WinInclude.h"

#include <algorithm>
#include <atomic>

namespace messagebus {

namespace {

// Enough for every subscription of a busy process to block at once without starving the rest.
constexpr size_t kMaxWorkers = 32;

uint32_t sessionOfThisProcess()
{
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
        return 0;
    return session;
}

} // namespace

uint64_t nextSubscriptionId()
{
    static std::atomic<uint64_t> next{1};
    return next++;
}

Broker::Broker()
    : m_processId(GetCurrentProcessId()), m_sessionId(sessionOfThisProcess()), m_pool(kMaxWorkers),
      m_timer([this] { timerLoop(); })
{
}

Broker::~Broker()
{
    shutdown();
}

void Broker::openHandle(uint64_t handleId)
{
    auto state = std::make_shared<HandleState>();
    state->replyStrand = m_pool.makeStrand();
    std::lock_guard<SlimMutex> lock(m_mutex);
    m_handles[handleId] = std::move(state);
}

bool Broker::closeHandle(uint64_t handleId)
{
    std::lock_guard<SlimMutex> lock(m_mutex);
    auto it = m_handles.find(handleId);
    if (it == m_handles.end() || it->second->closing)
        return false;
    it->second->closing = true;
    return true;
}

bool Broker::isLastOpenHandle(uint64_t handleId) const
{
    std::lock_guard<SlimMutex> lock(m_mutex);
    bool open = false;
    for (const auto& [id, state] : m_handles) {
        if (state->closing)
            continue;
        if (id != handleId)
            return false;
        open = true;
    }
    return open;
}

void Broker::finishRelease(uint64_t handleId)
{
    std::vector<std::shared_ptr<Subscription>> ended;
    std::shared_ptr<Strand> replyStrand;
    {
        std::lock_guard<SlimMutex> lock(m_mutex);
        for (auto it = m_subscriptions.begin(); it != m_subscriptions.end();) {
            if (it->second->handleId == handleId) {
                ended.push_back(it->second);
                it = m_subscriptions.erase(it);
            } else {
                ++it;
            }
        }
        failPendingLocked([handleId](const PendingRequest& p) { return p.handleId == handleId; },
                          MESSAGEBUS_STATUS_SHUTDOWN);
        replyStrand = m_handles[handleId]->replyStrand;
    }
    // Out of the table, so nothing new is queued to them: deliver what is, then end them.
    for (const auto& subscription : ended) {
        m_pool.waitIdle(subscription->strand);
        m_pool.cancel(subscription->strand);
    }
    m_pool.waitIdle(replyStrand);
    std::lock_guard<SlimMutex> lock(m_mutex);
    m_handles.erase(handleId);
}

void Broker::shutdown()
{
    {
        std::lock_guard<SlimMutex> lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
        failPendingLocked([](const PendingRequest&) { return true; }, MESSAGEBUS_STATUS_SHUTDOWN);
    }
    m_timerWake.notify_all();
    m_timer.join();
    m_pool.drainAndJoin();
}

std::shared_ptr<Broker::HandleState> Broker::openHandleStateLocked(uint64_t handleId) const
{
    auto it = m_handles.find(handleId);
    if (it == m_handles.end() || it->second->closing)
        return nullptr;
    return it->second;
}

Stamp Broker::nextStampLocked(uint64_t handleId)
{
    return Stamp{m_processId, m_sessionId, handleId, m_nextMessage++};
}

std::vector<std::shared_ptr<Broker::Subscription>> Broker::matchingSubscriptionsLocked(const std::wstring& name) const
{
    std::vector<std::shared_ptr<Subscription>> matches;
    for (const auto& [id, subscription] : m_subscriptions) {
        bool match = subscription->pattern ? std::regex_match(name, *subscription->pattern) : subscription->name == name;
        if (match)
            matches.push_back(subscription);
    }
    return matches;
}

void Broker::deliverLocked(const std::shared_ptr<Envelope>& envelope)
{
    // Queued under m_mutex, so every subscription sees concurrent publishes in one order.
    for (const auto& subscription : matchingSubscriptionsLocked(envelope->name)) {
        m_pool.post(subscription->strand, [subscription, envelope] {
            subscription->trampoline(subscription->context, &envelope->options, envelope->name.c_str(),
                                     envelope->alias.c_str(), envelope->payload.c_str());
        });
    }
}

uint32_t Broker::publish(uint64_t handleId, const MessageOptions& options, const wchar_t* name, const wchar_t* alias,
                         const wchar_t* payload)
{
    std::lock_guard<SlimMutex> lock(m_mutex);
    if (!openHandleStateLocked(handleId))
        return MESSAGEBUS_STATUS_INVALID_HANDLE;
    std::shared_ptr<Envelope> envelope = makeEnvelope(options, name, alias, payload, nextStampLocked(handleId));
    if (envelope->options.flags & (1u << MESSAGE_FLAG_BIT_REPLY))
        answerPendingLocked(envelope);
    else
        deliverLocked(envelope);
    return MESSAGEBUS_STATUS_SUCCESS;
}

uint32_t Broker::request(uint64_t handleId, const ReplyTarget& target, const MessageOptions& options,
                         const wchar_t* name, const wchar_t* alias, const wchar_t* payload, uint32_t timeoutMs)
{
    std::unique_lock<SlimMutex> lock(m_mutex);
    if (!openHandleStateLocked(handleId))
        return MESSAGEBUS_STATUS_INVALID_HANDLE;
    std::shared_ptr<Envelope> envelope = makeEnvelope(options, name, alias, payload, nextStampLocked(handleId));
    if (matchingSubscriptionsLocked(envelope->name).empty())
        return MESSAGEBUS_STATUS_NO_SUBSCRIBERS;
    const uint64_t token = m_nextToken++;
    envelope->options.flags |= 1u << MESSAGE_FLAG_BIT_EXPECTS_REPLY;
    envelope->options.requestToken = token;
    auto deadline = timeoutMs == MESSAGEBUS_INFINITE
                        ? std::chrono::steady_clock::time_point::max()
                        : std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    m_pending[token] = PendingRequest{handleId, target, deadline};
    deliverLocked(envelope);
    // Only an earlier deadline wakes the timer: a wake per request would put a third thread into
    // every round trip, and a winpthreads notify can stall until the thread it woke last has run.
    const bool earlierThanTimer = deadline < m_timerDeadline;
    if (earlierThanTimer)
        m_timerDeadline = deadline;
    lock.unlock();
    if (earlierThanTimer)
        m_timerWake.notify_all();
    return MESSAGEBUS_STATUS_SUCCESS;
}

void Broker::answerPendingLocked(const std::shared_ptr<Envelope>& reply)
{
    auto it = m_pending.find(reply->options.replyToken);
    if (it == m_pending.end())
        return; // late (timed out) or not an answer to anything of ours
    PendingRequest request = it->second;
    m_pending.erase(it);
    postReplyLocked(request.handleId, request.target, reply, MESSAGEBUS_STATUS_SUCCESS);
}

void Broker::failPendingLocked(const std::function<bool(const PendingRequest&)>& select, uint32_t status)
{
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (select(it->second)) {
            postReplyLocked(it->second.handleId, it->second.target, nullptr, status);
            it = m_pending.erase(it);
        } else {
            ++it;
        }
    }
}

void Broker::postReplyLocked(uint64_t handleId, const ReplyTarget& target, std::shared_ptr<Envelope> envelope,
                             uint32_t status)
{
    auto it = m_handles.find(handleId);
    if (it == m_handles.end())
        return;
    std::shared_ptr<HandleState> handle = it->second;
    m_pool.post(handle->replyStrand, [this, handle, target, envelope = std::move(envelope), status] {
        runReply(handle, target, envelope, status);
    });
}

void Broker::runReply(const std::shared_ptr<HandleState>& handle, const ReplyTarget& target,
                      const std::shared_ptr<Envelope>& envelope, uint32_t status)
{
    {
        std::lock_guard<SlimMutex> lock(m_mutex);
        if (handle->handedBack.count(target.trampoline))
            return;
    }
    if (envelope)
        target.trampoline(target.context, target.index, &envelope->options, envelope->name.c_str(),
                          envelope->alias.c_str(), envelope->payload.c_str(), status);
    else
        target.trampoline(target.context, target.index, nullptr, nullptr, nullptr, nullptr, status);
}

uint64_t Broker::subscribe(uint64_t handleId, void* context, MessageBusMessageTrampoline trampoline,
                           const wchar_t* nameOrPattern, bool isPattern)
{
    if (!trampoline || !nameOrPattern)
        return 0;
    auto subscription = std::make_shared<Subscription>();
    subscription->handleId = handleId;
    subscription->context = context;
    subscription->trampoline = trampoline;
    subscription->name = nameOrPattern;
    if (isPattern) {
        try {
            subscription->pattern.emplace(subscription->name, std::regex_constants::ECMAScript |
                                                                  std::regex_constants::nosubs |
                                                                  std::regex_constants::optimize);
        } catch (const std::regex_error&) {
            return 0;
        }
    }
    subscription->strand = m_pool.makeStrand();
    std::lock_guard<SlimMutex> lock(m_mutex);
    if (!openHandleStateLocked(handleId))
        return 0;
    subscription->id = nextSubscriptionId();
    m_subscriptions[subscription->id] = subscription;
    return subscription->id;
}

void Broker::unsubscribe(uint64_t handleId, uint64_t subscriptionId)
{
    std::shared_ptr<Subscription> subscription;
    {
        std::lock_guard<SlimMutex> lock(m_mutex);
        auto it = m_subscriptions.find(subscriptionId);
        if (it == m_subscriptions.end() || it->second->handleId != handleId)
            return;
        subscription = it->second;
        m_subscriptions.erase(it);
    }
    m_pool.cancel(subscription->strand);
}

void Broker::handOverReply(uint64_t handleId, MessageBusReplyTrampoline trampoline)
{
    std::shared_ptr<HandleState> handle;
    {
        std::lock_guard<SlimMutex> lock(m_mutex);
        auto found = m_handles.find(handleId);
        if (found == m_handles.end())
            return;
        handle = found->second;
        handle->handedBack.insert(trampoline);
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->second.handleId == handleId && it->second.target.trampoline == trampoline)
                it = m_pending.erase(it);
            else
                ++it;
        }
    }
    m_pool.waitNotRunning(handle->replyStrand);
}

void Broker::timerLoop()
{
    std::unique_lock<SlimMutex> lock(m_mutex);
    while (!m_stopping) {
        auto next = std::chrono::steady_clock::time_point::max();
        for (const auto& [token, pending] : m_pending)
            next = std::min(next, pending.deadline);
        m_timerDeadline = next;
        if (next == std::chrono::steady_clock::time_point::max())
            m_timerWake.wait(lock);
        else
            m_timerWake.wait_until(lock, next);
        if (m_stopping)
            break;
        const auto now = std::chrono::steady_clock::now();
        failPendingLocked([now](const PendingRequest& p) { return p.deadline <= now; }, MESSAGEBUS_STATUS_TIMEOUT);
    }
}

} // namespace messagebus
