// The requester's side of one request: waits on the slot the bus client settles, bounded by the
// request's deadline.
#include "message/ReplyImpl.h"

#include "common/WinInclude.h"
#include "logging/internal_logging.h"
#include "message/Message.h"
#include "message/MonotonicClock.h"

#include <algorithm>

namespace Tessel {

namespace {
// Grace beyond the request's own time-out, so the bus's time-out reply normally arrives first.
constexpr int64_t kDeadlineGraceMs = 1000;
// The longest single condition wait; INFINITE itself would mean "no bound".
constexpr int64_t kLongestWaitMs = INFINITE - 1;
} // namespace

// --- The slot ---------------------------------------------------------------------------------

enum class ReplyOutcome { Pending, Message, Failed };

class ReplyState {
public:
    void settle(ReplyOutcome outcome, std::shared_ptr<Message> message)
    {
        AcquireSRWLockExclusive(&m_lock);
        const bool first = m_outcome == ReplyOutcome::Pending;
        if (first) {
            m_outcome = outcome;
            m_message.swap(message);
        }
        ReleaseSRWLockExclusive(&m_lock);
        // After the release, so the woken waiter does not block on the lock straight away. The
        // promise still holds this state, so it outlives the call.
        if (first)
            WakeAllConditionVariable(&m_settled);
    }

    bool isSettled()
    {
        AcquireSRWLockShared(&m_lock);
        const bool settled = m_outcome != ReplyOutcome::Pending;
        ReleaseSRWLockShared(&m_lock);
        return settled;
    }

    bool waitSettled(int64_t milliseconds)
    {
        const int64_t end = monotonicMillis() + milliseconds;
        AcquireSRWLockExclusive(&m_lock);
        // The condition may wake without a settlement: wait again for what is left.
        for (int64_t left = milliseconds; m_outcome == ReplyOutcome::Pending && left > 0;
             left = end - monotonicMillis()) {
            SleepConditionVariableSRW(&m_settled, &m_lock, static_cast<DWORD>(std::min(left, kLongestWaitMs)), 0);
        }
        const bool settled = m_outcome != ReplyOutcome::Pending;
        ReleaseSRWLockExclusive(&m_lock);
        return settled;
    }

    bool take(std::shared_ptr<Message>& message)
    {
        AcquireSRWLockExclusive(&m_lock);
        const bool received = m_outcome == ReplyOutcome::Message;
        if (received)
            message = std::move(m_message);
        ReleaseSRWLockExclusive(&m_lock);
        return received;
    }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_settled = CONDITION_VARIABLE_INIT;
    ReplyOutcome m_outcome = ReplyOutcome::Pending;  // written under m_lock, once
    std::shared_ptr<Message> m_message;              // written under m_lock
};

bool ReplyFuture::isReady() const
{
    return m_state->isSettled();
}

bool ReplyFuture::waitFor(int64_t milliseconds) const
{
    return m_state->waitSettled(milliseconds);
}

bool ReplyFuture::take(std::shared_ptr<Message>& message)
{
    std::shared_ptr<ReplyState> state = std::move(m_state);
    return state->take(message);
}

ReplyPromise::ReplyPromise() : m_state(std::make_shared<ReplyState>()) {}

ReplyPromise& ReplyPromise::operator=(ReplyPromise&& other) noexcept
{
    if (this != &other) {
        abandon();
        m_state = std::move(other.m_state);
        m_futureRetrieved = other.m_futureRetrieved;
    }
    return *this;
}

ReplyPromise::~ReplyPromise()
{
    abandon();
}

void ReplyPromise::abandon()
{
    if (m_state)
        m_state->settle(ReplyOutcome::Failed, nullptr);
}

ReplyFuture ReplyPromise::getFuture()
{
    if (!m_state || m_futureRetrieved)
        return {};
    m_futureRetrieved = true;
    return ReplyFuture(m_state);
}

void ReplyPromise::setMessage(std::shared_ptr<Message> message)
{
    if (m_state)
        m_state->settle(ReplyOutcome::Message, std::move(message));
}

void ReplyPromise::setFailed()
{
    if (m_state)
        m_state->settle(ReplyOutcome::Failed, nullptr);
}

// --- The reply --------------------------------------------------------------------------------

ReplyImpl::ReplyImpl(ReplyFuture future, uint32_t timeoutMs)
    : m_future(std::move(future)), m_deadline(monotonicMillis() + static_cast<int64_t>(timeoutMs) + kDeadlineGraceMs)
{
}

uint32_t ReplyImpl::getStatus() const
{
    return m_status;
}

std::shared_ptr<Message> ReplyImpl::getMessage() const
{
    return m_status == REPLY_STATUS_RECEIVED ? m_message : nullptr;
}

uint32_t ReplyImpl::wait()
{
    if (m_status != REPLY_STATUS_PENDING)
        return m_status;
    m_status = getReplyMessage();
    return m_status;
}

uint32_t ReplyImpl::waitFor(uint32_t milliseconds)
{
    // A settled reply stays settled: its future has been consumed and must not count as invalid.
    if (m_status != REPLY_STATUS_PENDING)
        return m_status;
    if (!m_future.valid()) {
        KSLOG_ERROR(L"Reply future is in an invalid state. Returning.");
        m_status = REPLY_STATUS_NO_REPLY;
        return m_status;
    }
    if (m_future.waitFor(milliseconds)) {
        m_status = getReplyMessage();
        return m_status;
    }
    KSLOG_WARNING(L"Reply waitFor timed out. Returning.");
    return m_status;
}

uint32_t ReplyImpl::getReplyMessage()
{
    if (!m_future.valid()) {
        KSLOG_ERROR(L"Reply future is in an invalid state. Returning.");
        return REPLY_STATUS_NO_REPLY;
    }
    while (!m_future.isReady()) {
        int64_t remaining = m_deadline - monotonicMillis();
        if (remaining < 0) {
            KSLOG_ERROR(L"Reply future did not get fulfilled on time. Returning.");
            return REPLY_STATUS_DEADLINE_PASSED;
        }
        // At least a millisecond, so the last one before the deadline is slept, not spun.
        m_future.waitFor(std::max<int64_t>(remaining, 1));
    }
    return takeMessage();
}

uint32_t ReplyImpl::takeMessage()
{
    // A dropped promise, or the failure the bus client stored for a time-out, gives no message.
    if (!m_future.take(m_message))
        return REPLY_STATUS_NO_REPLY;
    return m_message ? REPLY_STATUS_RECEIVED : REPLY_STATUS_NO_REPLY;
}

} // namespace Tessel
