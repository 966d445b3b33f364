// The task list's tasks by when they fall due: the timed tasks ordered by next run, and the names
// of the log-on and boot tasks. The queue builder looks up the tasks that are due by it, and the
// search for the next wake takes its first time, instead of visiting every task of the list.
//
// The list updates it wherever a task's type or next run can change: a task loaded, re-read,
// launched or dropped.
//
// Threading: the engine thread.
#pragma once

#include "common/WinInclude.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Keelwork::engine {

class DueIndex {
public:
    // The task of this name as it now is: its type and next run; `present` false for a task gone.
    void update(const std::wstring& name, bool present, DWORD type, uint32_t nextRun);
    void clear();

    // The timed tasks whose next run is at or before `until`, in no particular order.
    std::vector<std::wstring> timedDueBy(uint32_t until) const;
    // The earliest next run of a timed task later than `after`; 0xFFFFFFFF when there is none.
    uint32_t earliestTimedAfter(uint32_t after) const;
    // The log-on and boot tasks, in the list's order.
    const std::set<std::wstring>& occasions() const { return m_occasions; }

private:
    std::set<std::pair<uint32_t, std::wstring>> m_timed;
    std::map<std::wstring, uint32_t> m_timedAt;  // each timed task's entry in m_timed
    std::set<std::wstring> m_occasions;
};

} // namespace Keelwork::engine
