// A mutex and condition variable over the system's slim lock and condition variable, shaped for
// std::lock_guard and std::unique_lock. The C++ runtime's pair rests on winpthreads, whose waits
// and wakes each take kernel semaphores and events: every request's handoff between the bus's
// threads paid several kernel round trips (wineserver ones under Wine), and their cost swung with
// the machine's load. The system's pair waits in user space until a thread must really sleep.
#pragma once

#include "common/WinInclude.h"

#include <algorithm>
#include <chrono>
#include <mutex>

namespace messagebus {

class SlimMutex {
public:
    SlimMutex() = default;
    SlimMutex(const SlimMutex&) = delete;
    SlimMutex& operator=(const SlimMutex&) = delete;

    void lock() { ::AcquireSRWLockExclusive(&m_lock); }
    void unlock() { ::ReleaseSRWLockExclusive(&m_lock); }
    SRWLOCK* native() { return &m_lock; }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

class SlimCondition {
public:
    SlimCondition() = default;
    SlimCondition(const SlimCondition&) = delete;
    SlimCondition& operator=(const SlimCondition&) = delete;

    void notify_one() { ::WakeConditionVariable(&m_condition); }
    void notify_all() { ::WakeAllConditionVariable(&m_condition); }

    void wait(std::unique_lock<SlimMutex>& lock)
    {
        ::SleepConditionVariableSRW(&m_condition, lock.mutex()->native(), INFINITE, 0);
    }

    template <typename Predicate>
    void wait(std::unique_lock<SlimMutex>& lock, Predicate ready)
    {
        while (!ready())
            wait(lock);
    }

    // Returns when woken, or at `deadline` (late by at most the system's timer granularity).
    void wait_until(std::unique_lock<SlimMutex>& lock, std::chrono::steady_clock::time_point deadline)
    {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return;
        // Rounded up, so a wake before the deadline is the caller's to sleep again, never a spin.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        const DWORD bounded = static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
        ::SleepConditionVariableSRW(&m_condition, lock.mutex()->native(), bounded, 0);
    }

private:
    CONDITION_VARIABLE m_condition = CONDITION_VARIABLE_INIT;
};

} // namespace messagebus
