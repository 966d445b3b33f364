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
} // namespace

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
