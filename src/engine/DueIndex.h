// The task list's tasks by when they fall due: the timed tasks ordered by next run, and the names
// of the log-on and boot tasks. The queue builder looks up the tasks that are due by it, and the
// search for the next wake takes its first time, instead of visiting every task of the list.
//
// It holds the list's own names (the keys of its map, which stay put while a task is listed), so
// the list takes a task out before it drops or replaces it, and puts it in again after a change to
// its type or next run.
//
// Threading: the engine thread.
#pragma once

#include "common/WinInclude.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Keelwork::engine {

class DueIndex {
public:
    void add(const std::wstring& name, DWORD type, uint32_t nextRun);
    // As added; a task not in the index is no change.
    void remove(const std::wstring& name, DWORD type, uint32_t nextRun);
    void clear();

    // The timed tasks whose next run is at or before `until`, in no particular order.
    std::vector<std::wstring> timedDueBy(uint32_t until) const;
    // The timed tasks whose next run is `at`, in no particular order.
    std::vector<std::wstring> timedAt(uint32_t at) const;
    // The earliest next run of a timed task later than `after`; 0xFFFFFFFF when there is none.
    uint32_t earliestTimedAfter(uint32_t after) const;
    // The log-on and boot tasks, in the list's order.
    const std::set<std::wstring>& occasions() const { return m_occasions; }

private:
    std::set<std::pair<uint32_t, const std::wstring*>> m_timed;
    std::set<std::wstring> m_occasions;
};

} // namespace Keelwork::engine
