// Tessel::Reply: the requester's handle on the answer to one request, with a deadline.
#pragma once

#include <cstdint>
#include <memory>

namespace Tessel {

class Message;

// Reply status values. A reply moves from pending to exactly one of the others and stays there.
inline constexpr uint32_t REPLY_STATUS_RECEIVED = 0;
inline constexpr uint32_t REPLY_STATUS_PENDING = 1;
inline constexpr uint32_t REPLY_STATUS_DEADLINE_PASSED = 2;
inline constexpr uint32_t REPLY_STATUS_NO_REPLY = 3;

class Reply {
public:
    virtual ~Reply() = default;
    virtual uint32_t getStatus() const = 0;
    // The reply message when the status is REPLY_STATUS_RECEIVED, else null.
    virtual std::shared_ptr<Message> getMessage() const = 0;
    // Blocks until the reply arrives or the deadline passes; a settled status is returned at once.
    virtual uint32_t wait() = 0;
    // Waits at most `milliseconds`; on time-out the status stays pending and may settle later.
    virtual uint32_t waitFor(uint32_t milliseconds) = 0;

protected:
    Reply() = default;
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
};

} // namespace Tessel
