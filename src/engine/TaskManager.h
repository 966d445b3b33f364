// CKsTaskManager: the owner the engine knows its tasks by. It puts together the task list
// (TaskList: the in-memory picture of the task store, gathered once and refreshed), the due rules
// (which task is due, when the next one falls due, whether the head task waits for an idle
// machine) and the run queue (RunQueue), and forwards to them. Queue state lives in the run
// queue, keyed by name, and survives a refresh. _AddToQ queues the due tasks of one type, looking
// at the tasks the list's due index finds due and those it holds (at every task while it writes a
// line about each, and in the cases visitsEveryTask names); FindMinNextRunTime says when the next
// timed task falls due; ShouldTopTaskWaitForIdle says whether the head task wants an idle machine.
//
// A task with a run-time limit is handed, once its program has started, to the manager's run-limit
// keeper, which ends the program's tree at the limit and, with the manager, at the engine's end.
//
// Engine state arrives in the arguments of _AddToQ (AM mode and window, the occasion type, the
// out-of-OOBE pass) and through SetOobeModeState, InitTSStartTime and SetGlobalOobeWait.
// Used on the engine thread only, except the task list's retail-disabled set, which has its own
// mutex.
#pragma once

#include "common/WinInclude.h"
#include "state/EngineState.h"
#include "engine/DueRules.h"
#include "engine/RefreshScope.h"
#include "engine/RunQueue.h"
#include "engine/TaskList.h"
#include "execution/RunLimitKeeper.h"
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
#include <vector>

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

// What the manager asks of the machine; an empty member means the system's own.
struct TaskManagerServices {
    // Null: the system's probe.
    std::unique_ptr<KsPlatform::RetailDemoModeChecker> retailDemo;
    // KsIsActiveSessionNTAdmin with the system's probes when empty.
    std::function<bool(BOOL* pbFilteredAdmin)> isConsoleAdmin;
    // What each launch consults of the machine.
    SingleTaskServices launch;
    // Whether the queue builder's lines about each task it looks at are written, so it must look
    // at every task; empty: whether the logger writes Normal lines.
    std::function<bool()> logsEachTask;
};

class CKsTaskManager {
public:
    using TaskMap = TaskList::TaskMap;

    // dwFinishWait ("taskfinishwait") and hExitEvent (not owned) are handed to every launch.
    CKsTaskManager(DWORD dwFinishWait, HANDLE hExitEvent, TaskManagerServices services = {});
    virtual ~CKsTaskManager();
    // Tells the board that limited trees which outlived their launch are over. Engine thread.
    void settleLimits();

    CKsTaskManager(const CKsTaskManager&) = delete;
    CKsTaskManager& operator=(const CKsTaskManager&) = delete;

    // 0, the open error of the scheduler key, 8 when out of memory, or the enumeration error.
    DWORD GatherAllTasks();
    // Every scope leaves the list and the board as re-reading every task would, and logs the same
    // lines for the tasks it reads.
    void Refresh(RefreshScope scope = RefreshScope::everything);
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

    // The program of a task that falls due at `due` and starts one, for reading it ahead of its
    // launch; when several do, the first found (a wrong guess costs only that reading). Null when
    // none does.
    const wchar_t* ProgramDueAt(uint32_t due) const;
    // The validator the launches check their programs with.
    KsExecution::ITrustValidator& trustValidator() const;

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

    const TaskMap& tasks() const { return m_list.tasks(); }
    RunQueue& queue() { return m_queue; }
    DWORD finishWait() const { return m_dwFinishWait; }
    void SetFinishWait(DWORD seconds) { m_dwFinishWait = seconds; }
    HANDLE exitEvent() const { return m_hExitEvent; }

    void _EmptyTaskList();
    void _EmptyQ();

private:
    void afterRefresh();
    TaskList::OobeWaitOf oobeWaitOf();
    // Seconds a task first seen while OOBE mode is on is held; 0 once the global wait is over.
    DWORD oobeWaitForNewTask(const std::wstring& name);

    // The queue builder's look at one task for `type`: its holds, its due rule, its queue item.
    // 0, or 8 when out of memory.
    DWORD visitForQ(const std::wstring& name, EngineTask& task, DWORD type, DWORD bOutOfOobe, DWORD bAMMode,
                    DWORD dwAMFutureWindow, uint32_t now);
    // The tasks a queue build must look at, in the list's order, when not all: those the due index
    // finds due, those asked to run now, the log-on and boot tasks (a hold may keep them, once due)
    // and those the builder holds; it would leave the others as they are.
    std::vector<std::wstring> tasksToVisit(DWORD bAMMode, DWORD dwAMFutureWindow, uint32_t now) const;
    bool visitsEveryTask();
    // True when the OOBE hold keeps this task out of the queue.
    bool heldByOobe(const std::wstring& name, EngineTask& task, DWORD type, DWORD bOutOfOobe, uint32_t now);
    // 0, or 8 when out of memory.
    DWORD enqueue(const std::wstring& name, const EngineTask& task);
    bool oobeHoldActive(const EngineTask& task, uint32_t now, uint32_t* elapsed);

    // The queue builder's hold of the task (retail demo, out-of-box wait, maintenance exclusion),
    // told to the board; none ends the one it told before.
    void holdBy(const std::wstring& name, EngineTask& task, HoldReason reason, uint32_t since = 0,
                uint32_t until = 0);
    // One launch: the object made from the record, its outcome kept in the record and told.
    DWORD launch(const std::wstring& name, EngineTask& task, const std::shared_ptr<Tessel::MessageBusClient>& bus,
                 DWORD* deleted);
    // Hands a started run's job to the run-limit keeper and tells the board when it ends; the
    // event that ends the launch's wait, or null when the run cannot be held to its limit.
    HANDLE keepLimit(const std::wstring& name, HANDLE job, uint32_t seconds,
                     std::shared_ptr<KsExecution::RunLimitKeeper::Watch>& watch);

    TaskList m_list;
    DueRules m_rules;
    RunQueue m_queue;
    DWORD m_dwFinishWait;
    HANDLE m_hExitEvent;
    TaskManagerServices m_services;
    std::shared_ptr<EngineStateBoard> m_board;

    uint32_t m_lastTimedQueueBuild = 0;  // "now" of the last queue build for a timed type; 0 = none
    DWORD m_bIsOobeMode = 0;
    uint64_t m_tsStartTime = 0;  // seconds since 1970; 0 = not recorded
    DWORD m_dwGlobalOobeWait = 0;

    // Key names asked to run now and not yet queued; kept across refreshes, dropped with the task.
    std::set<std::wstring> m_runNow;
    // Every task the queue builder told a hold of (and maybe some whose hold has since ended).
    std::set<std::wstring> m_builderHeld;
    // Last, so it goes first: the limited trees still running end with the engine.
    KsExecution::RunLimitKeeper m_runLimits;
};

} // namespace Keelwork::engine
