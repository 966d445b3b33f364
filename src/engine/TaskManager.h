// CKsTaskManager: the engine's in-memory picture of the task store and its run queue.
//
// The task map holds one task per key under the enabled scheduler key, by lower-case name: its
// record and the engine's marks, nothing of a launch (each launch is an object of its own, made
// from the record and dropped after it).
// GatherAllTasks fills it once; Refresh re-reads every task from scratch (queue state lives in
// the run queue, keyed by name, and survives) and drops a vanished task only once the queue
// builder has visited it since its last load. _AddToQ queues the due tasks of one type;
// FindMinNextRunTime says when the next timed task falls due; ShouldTopTaskWaitForIdle says
// whether the head task wants an idle machine.
//
// Engine state arrives in the arguments of _AddToQ (AM mode and window, the occasion type, the
// out-of-OOBE pass) and through SetOobeModeState, InitTSStartTime and SetGlobalOobeWait.
// Used on the engine thread only, except the retail-disabled set, which has its own mutex.
#pragma once

#include "common/WinInclude.h"
#include "state/EngineState.h"
#include "engine/RunQueue.h"
#include "execution/SingleTask.h"
#include "platform/RetailDemoModeChecker.h"
#include "store/OwnedTaskInfo.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace Tessel {
class MessageBusClient;
}

namespace Keelwork::engine {

using KsState::EngineStateBoard;
using KsState::HoldReason;
using KsState::TaskHold;
using KsState::TaskState;
using KsState::LaunchOutcome;
using KsState::DeferralOutcome;

// Tasks of this name prefix belong to an earlier product generation and are removed at start.
inline constexpr wchar_t kZarnTaskPrefix[] = L"zarn_";

// A task as the engine holds it: its record (as the store read it, and as its launches since
// changed it) and the engine's own marks.
struct EngineTask : KsStore::OwnedTaskInfo {
    using OwnedTaskInfo::OwnedTaskInfo;

    uint8_t m_bDirty = 0;           // 1 when a refresh re-read it; 0 once the queue builder visited it
    uint32_t m_bLongOverdue = 0;    // set when found due long after its time; never cleared
    uint32_t m_dwOobeWait = 0;      // seconds after the engine start it is held; 0 = none or over
    uint32_t m_dwRetryAt = 0;       // logon and boot tasks: "LogonNextRun", when a deferral retries it
    uint32_t m_dwLaunchCount = 0;   // launches since its last completed run
    HoldReason m_builderHold = HoldReason::none;  // what the queue builder last said holds it
    bool m_queuedToRunNow = false;  // queued by a run-now request: its next launch schedules from that run
};

// Whether the task (its key name), due now, first waits for an idle user: the update and on-demand
// scan tasks and those asking for it, unless the idle wait is switched off or the task is long
// overdue.
bool taskWaitsForIdle(const std::wstring& name, const KSTASKINFO& task, bool longOverdue);
// Whether a timed task found due at `now` is long overdue: its next run lies more than 3 days (15
// for tasks that ask for it) before the local time.
bool isLongOverdue(const KSTASKINFO& task, uint32_t now);

// What the manager asks of the machine; an empty member means the system's own.
struct TaskManagerServices {
    // Null: the system's probe.
    std::unique_ptr<KsPlatform::RetailDemoModeChecker> retailDemo;
    // KsIsActiveSessionNTAdmin with the system's probes when empty.
    std::function<bool(BOOL* pbFilteredAdmin)> isConsoleAdmin;
    // What each launch consults of the machine.
    SingleTaskServices launch;
};

class CKsTaskManager {
public:
    using TaskMap = std::map<std::wstring, std::unique_ptr<EngineTask>>;

    // dwFinishWait ("taskfinishwait") and hExitEvent (not owned) are handed to every launch.
    CKsTaskManager(DWORD dwFinishWait, HANDLE hExitEvent, TaskManagerServices services = {});
    virtual ~CKsTaskManager();

    CKsTaskManager(const CKsTaskManager&) = delete;
    CKsTaskManager& operator=(const CKsTaskManager&) = delete;

    // 0, the open error of the scheduler key, 8 when out of memory, or the enumeration error.
    DWORD GatherAllTasks();
    void Refresh();
    DWORD DeleteAllZARNTasks();
    // False when "DisabledInRetailModeTasks" could not be read (the set is then empty).
    bool LoadRetailDisabledTasks();
    bool IsTaskAllowedInRetailMode(const std::wstring& name);

    // Queues the due tasks of `type`; 0, or 8 when an item could not be allocated.
    DWORD _AddToQ(DWORD type, DWORD bOutOfOobe, DWORD bAMMode, DWORD dwAMFutureWindow);
    // Queues the logon and boot tasks whose deferral's delay is over; 0, or 8 as _AddToQ.
    DWORD AddDeferredOccasionsToQ();
    // Marks the task (its key name) due now, whatever its schedule; false for a task not in the map.
    bool AskRunNow(const std::wstring& name);
    // Queues the tasks asked to run now that no out-of-box or retail-demo hold keeps; a held one
    // stays asked for. A task already queued stays where it is: it runs once. 0, or 8 as _AddToQ.
    DWORD AddRunNowTasksToQ();
    // Absolute time of the next timed run (or OOBE hold end); 0xFFFFFFFF for an empty map. A time
    // that passed since the last queue build still counts: that build could not queue it.
    uint32_t FindMinNextRunTime();
    bool ShouldTopTaskWaitForIdle();

    // Pops the head item and launches its task (finish wait and exit event as given), announcing
    // the attempt on `bus` when there is one. 0 (ran, or nothing queued), 13 (not in the map),
    // 1602 (the exit event cut the launch short; set again) or 1604 (the update task ran and a
    // restart is now pending). nameOut receives the popped name.
    DWORD RunAndPopTopTask(std::wstring& nameOut, const std::shared_ptr<Tessel::MessageBusClient>& bus);

    // Where queued, running and held tasks and launch outcomes are told; none: not told.
    void UseStateBoard(std::shared_ptr<EngineStateBoard> board) { m_board = std::move(board); }
    // The head task is held by the pump.
    void Hold(const std::wstring& name, const TaskHold& hold);
    // The queue ran dry: the batch's queued marks and pump holds end.
    void EndBatch();

    DWORD SetOobeModeState(DWORD flag);
    bool IsOobeMode() const { return m_bIsOobeMode != 0; }
    uint64_t InitTSStartTime();
    uint64_t GetTSStartTime();
    void SetGlobalOobeWait(DWORD dwOobeWait) { m_dwGlobalOobeWait = dwOobeWait; }
    // Gives every task its hold (its own override value, else the global wait); the smallest.
    DWORD InitOobeWaitPerTask(DWORD globalOobeWait);
    // Ends the holds that ran out, queueing occasion tasks whose count was reached meanwhile;
    // true while a task is still held.
    bool RefreshOobeWaitPerTask();
    bool GlobalOobeWaitElapsed() const;

    const TaskMap& tasks() const { return m_tasks; }
    RunQueue& queue() { return m_queue; }
    DWORD finishWait() const { return m_dwFinishWait; }
    void SetFinishWait(DWORD seconds) { m_dwFinishWait = seconds; }
    HANDLE exitEvent() const { return m_hExitEvent; }

    void _EmptyTaskList();
    void _EmptyQ();

private:
    // Null when the key would not read (logged) or memory ran out (*outOfMemory set).
    std::unique_ptr<EngineTask> _LoadTask(const std::wstring& name, bool* outOfMemory);
    void _RefreshOne(const std::wstring& name, bool* outOfMemory);
    void _DropUnvisited();
    // Seconds a task first seen while OOBE mode is on is held; 0 once the global wait is over.
    DWORD _OobeWaitForNewTask(const std::wstring& name);

    // True when the OOBE hold keeps this task out of the queue.
    bool _HeldByOobe(const std::wstring& name, EngineTask& task, DWORD type, DWORD bOutOfOobe, uint32_t now);
    bool _TimedTaskDue(const std::wstring& name, EngineTask& task, DWORD bAMMode, DWORD dwAMFutureWindow,
                       uint32_t now);
    bool _OccasionTaskDue(const std::wstring& name, EngineTask& task, DWORD bOutOfOobe);
    void _CountOccasion(const std::wstring& name, EngineTask& task);
    // "LogonNextRun" from the store into m_dwRetryAt (0 when absent).
    static void readRetryTime(const std::wstring& name, EngineTask& task);
    // 0, or 8 when out of memory.
    DWORD _Enqueue(const std::wstring& name, const EngineTask& task);
    bool _OobeHoldActive(const EngineTask& task, uint32_t now, uint32_t* elapsed);

    // The queue builder's hold of the task (retail demo, out-of-box wait, maintenance exclusion),
    // told to the board; none ends the one it told before.
    void holdBy(const std::wstring& name, EngineTask& task, HoldReason reason, uint32_t since = 0,
                uint32_t until = 0);
    // One launch: the object made from the record, its outcome kept in the record and told.
    DWORD launch(const std::wstring& name, EngineTask& task, const std::shared_ptr<Tessel::MessageBusClient>& bus,
                 DWORD* deleted);

    TaskMap m_tasks;
    RunQueue m_queue;
    DWORD m_dwFinishWait;
    HANDLE m_hExitEvent;
    TaskManagerServices m_services;
    std::shared_ptr<EngineStateBoard> m_board;

    uint32_t m_lastTimedQueueBuild = 0;  // "now" of the last queue build for a timed type; 0 = none
    DWORD m_bIsOobeMode = 0;
    uint64_t m_tsStartTime = 0;  // seconds since 1970; 0 = not recorded
    DWORD m_dwGlobalOobeWait = 0;

    std::mutex m_retailMutex;
    std::set<std::wstring> m_retailDisabled;  // written under m_retailMutex
    // Key names asked to run now and not yet queued; kept across refreshes, dropped with the task.
    std::set<std::wstring> m_runNow;
};

} // namespace Keelwork::engine
