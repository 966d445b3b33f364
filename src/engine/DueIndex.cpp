// The due index: timed tasks by next run, occasion tasks by name.
#include "engine/DueIndex.h"

#include "engine/TaskList.h"

namespace Keelwork::engine {

void DueIndex::update(const std::wstring& name, bool present, DWORD type, uint32_t nextRun)
{
    auto indexed = m_timedAt.find(name);
    if (indexed != m_timedAt.end()) {
        if (present && isTimed(type) && indexed->second == nextRun)
            return;
        m_timed.erase({indexed->second, name});
        m_timedAt.erase(indexed);
    }
    if (present && isTimed(type)) {
        m_timed.emplace(nextRun, name);
        m_timedAt.emplace(name, nextRun);
    }
    if (present && isOccasion(type))
        m_occasions.insert(name);
    else
        m_occasions.erase(name);
}

void DueIndex::clear()
{
    m_timed.clear();
    m_timedAt.clear();
    m_occasions.clear();
}

std::vector<std::wstring> DueIndex::timedDueBy(uint32_t until) const
{
    std::vector<std::wstring> due;
    for (auto it = m_timed.begin(); it != m_timed.end() && it->first <= until; ++it)
        due.push_back(it->second);
    return due;
}

uint32_t DueIndex::earliestTimedAfter(uint32_t after) const
{
    if (after == 0xFFFFFFFF)
        return after;
    auto it = m_timed.lower_bound({after + 1, std::wstring()});
    return it == m_timed.end() ? 0xFFFFFFFF : it->first;
}

} // namespace Keelwork::engine
