// Bus messages a test subscribed to, in arrival order, taken with a bounded wait.
#pragma once

#include "message/Message.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace kstest {

class MessageInbox {
public:
    // The next message, or null when none came within the wait.
    std::shared_ptr<Tessel::Message> take(std::chrono::milliseconds wait = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_changed.wait_for(lock, wait, [this] { return !m_arrived.empty(); }))
            return nullptr;
        auto message = std::move(m_arrived.front());
        m_arrived.pop_front();
        return message;
    }

    // A subscription callback that delivers here.
    uint32_t deliver(std::shared_ptr<Tessel::Message> message)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_arrived.push_back(std::move(message));
        m_changed.notify_all();
        return 0;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Tessel::Message>> m_arrived;  // written under m_lock
};

} // namespace kstest
