// The in-process inbox of changed task names.
#include "common/ChangedTasks.h"

#include <utility>

namespace Keelwork {

ChangedTasks& ChangedTasks::ofProcess()
{
    static ChangedTasks inbox;
    return inbox;
}

HANDLE ChangedTasks::attach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_wake)
        m_wake.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!m_wake)
        return nullptr;
    ++m_listeners;
    return m_wake.get();
}

void ChangedTasks::detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_listeners > 0 && --m_listeners == 0)
        m_pending = Taken{};
}

bool ChangedTasks::post(const std::wstring& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_listeners != 1)
        return false;
    if (m_pending.names.size() < kCapacity)
        m_pending.names.push_back(name);
    else
        m_pending.overflowed = true;
    ::SetEvent(m_wake.get());
    return true;
}

ChangedTasks::Taken ChangedTasks::take()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_pending, Taken{});
}

} // namespace Keelwork
