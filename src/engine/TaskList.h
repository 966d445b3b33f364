// The task list: the engine's in-memory picture of the task store, one task per key under the
// enabled scheduler key, by its identity key: its record and the engine's marks, nothing of a
// launch. gatherAll fills it once; refresh re-reads every task from scratch and drops a vanished
// task only once the queue builder has visited it since its last load; refreshNames re-reads only
// the named tasks (refreshWritten those whose keys were written) and leaves the list as refresh
// would have, touching no other task but those whose marks the engine set since. The tasks are
// kept indexed by when they fall due (DueIndex). Beside it, the names the retail demo mode keeps
// from running.
//
// Threading: the engine thread, except the retail-disabled set, which has its own mutex.
#pragma once

#include "common/WinInclude.h"
#include "engine/DueIndex.h"
#include "engine/TaskKeyTimes.h"
#include "state/EngineState.h"
#include "store/KsTaskInfo.h"
#include "store/OwnedTaskInfo.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace Keelwork {
class CRegKey;
}

namespace Keelwork::engine {

// When the whole list was last marked re-read and last visited by the queue builder: a mark that
// every task takes at once is kept here once, not written into each task.
struct ListStamps {
    uint64_t next = 0;
    uint64_t allReread = 0;
    uint64_t allVisited = 0;
};

// A task's m_bDirty as it reads: its own last setting, unless the whole list was marked since.
class DirtyMark {
public:
    DirtyMark() = default;
    explicit DirtyMark(ListStamps* stamps) : m_stamps(stamps), m_at(++stamps->next) {}
    DirtyMark& operator=(uint8_t value)
    {
        m_value = value;
        m_at = m_stamps ? ++m_stamps->next : 0;
        return *this;
    }
    operator uint8_t() const
    {
        if (!m_stamps || (m_at > m_stamps->allReread && m_at > m_stamps->allVisited))
            return m_value;
        return m_stamps->allReread > m_stamps->allVisited ? 1 : 0;
    }

private:
    // Stamp and value share one word, so that a task (tens of thousands at scale) fits a smaller
    // heap block; 2^56 stamps outlast any machine's uptime.
    ListStamps* m_stamps = nullptr;
    uint64_t m_at : 56 = 0;
    uint64_t m_value : 8 = 0;
};

// A task as the engine holds it: its record (as the store read it, and as its launches since
// changed it) and the engine's own marks.
// A re-read keeps none of the marks but the out-of-box hold (markReread in TaskList.cpp sets them
// all: a new mark is added there too).
struct EngineTask : KsStore::OwnedTaskInfo {
    using OwnedTaskInfo::OwnedTaskInfo;

    DirtyMark m_bDirty;             // 1 when a refresh re-read it; 0 once the queue builder visited it
    uint32_t m_dwOobeWait = 0;      // seconds after the engine start it is held; 0 = none or over
    uint32_t m_dwRetryAt = 0;       // logon and boot tasks: "LogonNextRun", when a deferral retries it
    uint32_t m_dwLaunchCount = 0;   // launches since its last completed run
    KsState::HoldReason m_builderHold = KsState::HoldReason::none;  // what the queue builder last said holds it
    bool m_queuedToRunNow = false;  // queued by a run-now request: its next launch schedules from that run
    bool m_bLongOverdue = false;    // set when found due long after its time; never cleared
    DWORD m_indexedType = 0;        // the type and next run the due index holds it by
    uint32_t m_indexedRun = 0;
};

// Tasks of this name prefix belong to an earlier product generation and are removed at start.
inline constexpr wchar_t kZarnTaskPrefix[] = L"zarn_";

// Scheduled, custom and preset tasks run at a time; log-on and boot tasks at an occasion.
inline bool isTimed(DWORD type)
{
    return type == KS_TASK_SCHEDULED || type == KS_TASK_CUSTOM || type == KS_TASK_PRESET;
}

inline bool isOccasion(DWORD type)
{
    return type == KS_TASK_REBOOT || type == KS_TASK_LOGON;
}

class TaskList {
public:
    using TaskMap = std::map<std::wstring, std::unique_ptr<EngineTask>>;
    // The out-of-box hold a re-read task keeps: `previous` is the task as it was, null for a task
    // first seen; 0 for none.
    using OobeWaitOf = std::function<DWORD(const std::wstring& name, const EngineTask* previous)>;

    TaskMap& tasks() { return m_tasks; }
    const TaskMap& tasks() const { return m_tasks; }

    // 0, the open error of the scheduler key, 8 when out of memory, or the enumeration error.
    DWORD gatherAll();
    // Re-reads every task; vanished ones are dropped and told to `board` (when there is one).
    void refresh(const OobeWaitOf& oobeWaitOf, KsState::EngineStateBoard* board);
    // As refresh, when only the tasks of these names (as posted) changed since the last refresh:
    // reads those, writes the same log lines refresh writes for them, and leaves every other task
    // as a re-read of it would (its record already is what the store holds).
    void refreshNames(const std::vector<std::wstring>& names, const OobeWaitOf& oobeWaitOf,
                      KsState::EngineStateBoard* board);
    // As refresh, after writes that name no task (another process's): reads the tasks whose keys
    // were written, came or went since the last refresh, found by the keys' last-write times.
    void refreshWritten(const OobeWaitOf& oobeWaitOf, KsState::EngineStateBoard* board);
    // Removes the tasks of an earlier product generation from the list and the store.
    DWORD deleteZarnTasks();
    // False when "DisabledInRetailModeTasks" could not be read (the set is then empty).
    bool loadRetailDisabled();
    bool allowedInRetailMode(const std::wstring& name);
    void clear();

    // The tasks by when they fall due, as the list now holds them.
    const DueIndex& due() const { return m_due; }
    // Brings the due index up to date for this task after a change outside the list (a launch).
    void reindex(const std::wstring& name);
    // The only way a task leaves the list: the due index points at the list's own names.
    TaskMap::iterator erase(TaskMap::iterator it);
    // The engine set marks of this task (or of every task) that a re-read would clear.
    void marked(const std::wstring& name) { m_marked.insert(name); }
    void markedEverywhere() { m_markedEverywhere = true; }
    // The queue builder visited every task.
    void visitedAll() { m_stamps.allVisited = ++m_stamps.next; }

    // "LogonNextRun" from the store into m_dwRetryAt (0 when absent).
    static void readRetryTime(const std::wstring& name, EngineTask& task);

private:
    // Null when the key would not read (logged) or memory ran out (*outOfMemory set).
    std::unique_ptr<EngineTask> load(const std::wstring& name, bool* outOfMemory);
    void refreshOne(const std::wstring& name, const OobeWaitOf& oobeWaitOf, bool* outOfMemory);
    // Into the due index as the task now is; out of it as it was put in.
    void indexTask(TaskMap::iterator it);
    void unindexTask(TaskMap::iterator it);
    // The retail list and the scheduler key, as both refreshes begin; false when the key would not open.
    bool beginRefresh(CRegKey& key);
    // Drops those of `candidates` (every task when null) the queue builder visited since their
    // last load and the refresh did not find.
    void dropUnvisited(KsState::EngineStateBoard* board, const std::vector<std::wstring>* candidates = nullptr);
    // What a re-read leaves of the marks of every task not in `changed` (sorted in registry order).
    void clearMarksOfUnchanged(const std::vector<std::wstring>& changed, const OobeWaitOf& oobeWaitOf);

    TaskMap m_tasks;
    // Tasks gone from the store but kept until the queue builder visits them: a refresh by change
    // looks at them again, as a whole refresh would.
    std::set<std::wstring> m_kept;
    TaskKeyTimes m_keyTimes;
    DueIndex m_due;
    ListStamps m_stamps;
    // Tasks whose marks may differ from what a re-read leaves; all may while m_markedEverywhere.
    std::set<std::wstring> m_marked;
    bool m_markedEverywhere = true;
    std::mutex m_retailMutex;
    std::set<std::wstring> m_retailDisabled;  // written under m_retailMutex
};

} // namespace Keelwork::engine
