// A count that threads add to and a test waits on, with a bound.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kstest {

class Counter {
public:
    void add()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_value;
        m_changed.notify_all();
    }
    int value() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_value;
    }
    // True when the count reached `target` within `timeout`.
    bool waitFor(int target, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, timeout, [&] { return m_value >= target; });
    }

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    int m_value = 0;
};

} // namespace kstest
