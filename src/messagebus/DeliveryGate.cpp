// Counting the deliveries inside a subscription, and waiting for them at its end. The system's
// lock and condition variable rather than the C++ runtime's: deliveries come on the bus library's
// threads, which another copy of the runtime created.
#include "messagebus/DeliveryGate.h"

#include <algorithm>

namespace Tessel {

bool DeliveryGate::enter()
{
    ::AcquireSRWLockExclusive(&m_lock);
    const bool open = !m_closed;
    if (open)
        m_insideThreads.push_back(::GetCurrentThreadId());
    ::ReleaseSRWLockExclusive(&m_lock);
    return open;
}

void DeliveryGate::leave()
{
    ::AcquireSRWLockExclusive(&m_lock);
    auto it = std::find(m_insideThreads.begin(), m_insideThreads.end(), ::GetCurrentThreadId());
    if (it != m_insideThreads.end())
        m_insideThreads.erase(it);
    ::ReleaseSRWLockExclusive(&m_lock);
    ::WakeAllConditionVariable(&m_left);
}

bool DeliveryGate::insideOnOtherThreads(DWORD self) const
{
    return std::any_of(m_insideThreads.begin(), m_insideThreads.end(), [self](DWORD id) { return id != self; });
}

bool DeliveryGate::close()
{
    const DWORD self = ::GetCurrentThreadId();
    ::AcquireSRWLockExclusive(&m_lock);
    m_closed = true;
    while (insideOnOtherThreads(self))
        ::SleepConditionVariableSRW(&m_left, &m_lock, INFINITE, 0);
    const bool selfInside = std::find(m_insideThreads.begin(), m_insideThreads.end(), self) != m_insideThreads.end();
    ::ReleaseSRWLockExclusive(&m_lock);
    return selfInside;
}

} // namespace Tessel
