// The due index: timed tasks by next run, occasion tasks by name.
#include "engine/DueIndex.h"

#include "engine/TaskList.h"

namespace Keelwork::engine {

void DueIndex::add(const std::wstring& name, DWORD type, uint32_t nextRun)
{
    if (isTimed(type))
        m_timed.emplace(nextRun, &name);
    else if (isOccasion(type))
        m_occasions.insert(name);
}

void DueIndex::remove(const std::wstring& name, DWORD type, uint32_t nextRun)
{
    if (isTimed(type))
        m_timed.erase({nextRun, &name});
    else if (isOccasion(type))
        m_occasions.erase(name);
}

void DueIndex::clear()
{
    m_timed.clear();
    m_occasions.clear();
}

std::vector<std::wstring> DueIndex::timedDueBy(uint32_t until) const
{
    std::vector<std::wstring> due;
    for (auto it = m_timed.begin(); it != m_timed.end() && it->first <= until; ++it)
        due.push_back(*it->second);
    return due;
}

std::vector<std::wstring> DueIndex::timedAt(uint32_t at) const
{
    std::vector<std::wstring> due;
    for (auto it = m_timed.lower_bound({at, nullptr}); it != m_timed.end() && it->first == at; ++it)
        due.push_back(*it->second);
    return due;
}

uint32_t DueIndex::earliestTimedAfter(uint32_t after) const
{
    if (after == 0xFFFFFFFF)
        return after;
    auto it = m_timed.lower_bound({after + 1, nullptr});
    return it == m_timed.end() ? 0xFFFFFFFF : it->first;
}

} // namespace Keelwork::engine
