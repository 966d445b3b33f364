// The slot behind ReplyPromise and ReplyFuture: settled once, waited on with a bound.
#include "message/ReplySlot.h"

#include "common/WinInclude.h"
#include "message/Message.h"
#include "message/MonotonicClock.h"

#include <algorithm>

namespace Tessel {

namespace {
// The longest single condition wait; INFINITE itself would mean "no bound".
constexpr int64_t kLongestWaitMs = INFINITE - 1;
} // namespace

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

} // namespace Tessel
