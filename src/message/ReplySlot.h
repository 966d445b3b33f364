// Tessel::ReplyPromise and Tessel::ReplyFuture: the one-shot hand-over of a reply from the bus
// client's thread to the requester's.
//
// Both sides share one small slot guarded by a slim reader/writer lock and a condition variable.
// Neither owns a kernel object, so a slot per request costs one allocation. std::promise here rests
// on winpthreads, whose condition variable creates two semaphores on its first wait and signals
// through them: each of those steps is a kernel round trip (a wineserver one under Wine), several
// per request.
#pragma once

#include <cstdint>
#include <memory>

namespace Tessel {

class Message;
class ReplyState;

// The reply's side: wait for the slot to be settled, then take what it holds, once.
class ReplyFuture {
public:
    ReplyFuture() = default;  // invalid: it belongs to no promise

    bool valid() const { return m_state != nullptr; }
    // True once the promise has been settled or dropped. Valid futures only.
    bool isReady() const;
    // Waits at most `milliseconds` for isReady(); gives its value.
    bool waitFor(int64_t milliseconds) const;
    // The settled message; false (and `message` untouched) when the promise failed or was dropped
    // unsettled. Consumes the future: it is invalid afterwards. Ready futures only.
    bool take(std::shared_ptr<Message>& message);

private:
    friend class ReplyPromise;
    explicit ReplyFuture(std::shared_ptr<ReplyState> state) : m_state(std::move(state)) {}

    std::shared_ptr<ReplyState> m_state;
};

// The bus client's side: settles the slot once, from any thread. Dropped unsettled, it settles the
// slot as failed, so a reply still waiting wakes and ends without a message.
class ReplyPromise {
public:
    // Allocates the slot; throws std::bad_alloc.
    ReplyPromise();
    ReplyPromise(ReplyPromise&& other) noexcept = default;
    ReplyPromise& operator=(ReplyPromise&& other) noexcept;
    ~ReplyPromise();

    // The one future of this promise; later calls give an invalid future.
    ReplyFuture getFuture();
    // The first settlement counts; later ones are ignored.
    void setMessage(std::shared_ptr<Message> message);
    void setFailed();

private:
    void abandon();

    std::shared_ptr<ReplyState> m_state;
    bool m_futureRetrieved = false;
};

} // namespace Tessel
