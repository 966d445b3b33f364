// The due rules: whether a task of the task list is due now (a timed task by its next run, the
// auto-maintenance window and exclusions; a log-on or boot task by its occasions counted, its
// out-of-box pass and the administrator it may need), whether it is long overdue, and whether it
// waits for an idle user. The run queue's builder asks them; they hold nothing of the queue.
//
// Threading: the engine thread.
#pragma once

#include "common/WinInclude.h"
#include "engine/TaskList.h"
#include "store/KsTaskInfo.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace Keelwork::engine {

// A time as the due rules' lines show it ("2026-01-02 03:04:05 UTC").
std::wstring utcTimeText(uint32_t time);
// The update and on-demand scan tasks always ask for an idle user; other tasks say so.
bool asksForIdle(const std::wstring& name, const KSTASKINFO& task);
// Whether the task is due by its own rule (next run come, occasions counted) or asked to run now:
// a hold keeps a due task from the queue, so a task that is not due is never held.
bool dueOrAsked(const std::set<std::wstring>& asked, const std::wstring& name, const EngineTask& task, uint32_t now);
// Whether the task (its key name), due now, first waits for an idle user: the update and on-demand
// scan tasks and those asking for it, unless the idle wait is switched off or the task is long
// overdue.
bool taskWaitsForIdle(const std::wstring& name, const KSTASKINFO& task, bool longOverdue);
// Whether a timed task found due at `now` is long overdue: its next run lies more than 3 days (15
// for tasks that ask for it) before the local time.
bool isLongOverdue(const KSTASKINFO& task, uint32_t now);

// A timed task's verdict: whether it is due, and whether an auto-maintenance run keeps it out
// (it is then not queued, due or not).
struct TimedVerdict {
    bool due = false;
    bool excluded = false;
};

class DueRules {
public:
    // `isConsoleAdmin`: KsIsActiveSessionNTAdmin with the system's probes when empty.
    explicit DueRules(std::function<bool(BOOL* pbFilteredAdmin)> isConsoleAdmin)
        : m_isConsoleAdmin(std::move(isConsoleAdmin))
    {
    }

    TimedVerdict timedTaskDue(const std::wstring& taskName, EngineTask& task, DWORD bAMMode, DWORD dwAMFutureWindow,
                              uint32_t now);
    // Counts the occasion (unless it is the out-of-box pass) and says whether the task is due.
    bool occasionTaskDue(const std::wstring& taskName, EngineTask& task, DWORD bOutOfOobe);
    // One more occasion seen, kept in the record and the store.
    static void countOccasion(const std::wstring& name, EngineTask& task);

private:
    std::function<bool(BOOL* pbFilteredAdmin)> m_isConsoleAdmin;
};

} // namespace Keelwork::engine
