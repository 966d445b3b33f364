// Tessel::ReplyImpl: a Reply over the one-shot hand-over the bus client settles, with a deadline of
// the request's time-out plus a second of grace on the monotonic clock.
#pragma once

#include "message/Reply.h"
#include "message/ReplySlot.h"

namespace Tessel {

class ReplyImpl final : public Reply {
public:
    ReplyImpl(ReplyFuture future, uint32_t timeoutMs);

    uint32_t getStatus() const override;
    std::shared_ptr<Message> getMessage() const override;
    uint32_t wait() override;
    uint32_t waitFor(uint32_t milliseconds) override;

private:
    uint32_t getReplyMessage();
    uint32_t takeMessage();

    // Used by the requester's thread only; the future carries the hand-over from the bus thread.
    uint32_t m_status = REPLY_STATUS_PENDING;
    std::shared_ptr<Message> m_message;
    ReplyFuture m_future;
    int64_t m_deadline;
};

} // namespace Tessel
