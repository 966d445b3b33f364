// The engine's steps: its phase moved, the run queue built and the pump started, the tasks re-read,
// the auto-maintenance switch applied, log-ons and run-now requests answered.
#include "engine/EngineSteps.h"

#include "common/Clock.h"
#include "engine/EngineCodes.h"
#include "engine/EngineNames.h"
#include "engine/RunningEngine.h"
#include "engine/TaskManager.h"
#include "logging/LogAs.h"

#include <algorithm>

namespace Keelwork::engine {
namespace {

constexpr const char* kTrigger = "CKsTaskScheduler::Trigger";
constexpr const char* kRefresh = "CKsTaskScheduler::Refresh";
constexpr const char* kUserLogin = "CKsTaskScheduler::_UserLoginDetected";
constexpr const char* kOnRunNow = "CKsTaskScheduler::_OnRunNow";

} // namespace

void EngineSteps::move(EngineInput input)
{
    input.now = Clock::current().now();
    input.maintenance = m_parts.m_am.on();
    const EngineMove next = transition(m_parts.m_board->engine(), input);
    m_parts.m_board->setEngine(next.state);
    if (next.actions.cancelTimer) {
        m_parts.m_loop.cancelTimer();
        m_parts.m_readAhead.cancel();
    }
    if (next.actions.armStandby)
        _SetTimer(kConnectedStandbyRearmSeconds);
    if (next.actions.trigger)
        Trigger();
}

DWORD EngineSteps::Trigger()
{
    KSLOG_INFO_AS(kTrigger, L"Task scheduler triggered");
    CKsTaskManager* tasks = m_parts.m_pTaskManager.get();
    if (!tasks)
        return kNoTaskManager;
    KSLOG_NORMAL_AS(kTrigger,
                    L"Checking if we are supposed to run any task at all (we could be delaying startup after reboot)");
    if (!isStarted(*m_parts.m_board)) {
        KSLOG_NORMAL_AS(kTrigger, L"Not triggering the task. We are still in wait mode");
        return 0;
    }
    KSLOG_NORMAL_AS(kTrigger, L"Creating a Q of overdue tasks");
    takeRunNowRequests();
    bool queued = true;
    for (DWORD type : {KS_TASK_CUSTOM, KS_TASK_PRESET, KS_TASK_SCHEDULED}) {
        if (tasks->_AddToQ(type, 0, m_parts.m_am.on() ? 1 : 0, m_parts.m_settings.futureTaskWindow) != 0) {
            queued = false;  // out of memory: the rest waits for the next trigger
            break;
        }
    }
    if (queued && tasks->AddDeferredOccasionsToQ() == 0)
        tasks->AddRunNowTasksToQ();
    if (!tasks->queue().empty()) {
        KSLOG_INFO_AS(kTrigger, L"There are some items in the Q. Starting task pump");
        ::PostMessageW(m_parts.m_window.get(), kPumpMessage, 0, 0);
    } else {
        KSLOG_INFO_AS(kTrigger, L"There is nothing in the Q. Nothing to execute. Setting waitable timer");
        _SetTaskWaitableTimer(0);
    }
    return 0;
}

DWORD EngineSteps::Refresh(RefreshScope scope)
{
    if (!m_parts.m_pTaskManager)
        return kNoTaskManager;
    KSLOG_NORMAL_AS(kRefresh, L"Refreshing task scheduler data and then triggering it immediately");
    m_parts.m_pTaskManager->Refresh(scope);
    const KsState::EngineStateBoard& board = *m_parts.m_board;
    if (!isSuspended(board) && !isStarted(board) && m_parts.m_pTaskManager->IsOobeMode()) {
        move({EngineEvent::outOfBoxRefresh});
        KSLOG_NORMAL_AS(kRefresh,
                        L"We will allow the triger() to work as a less oobe_wait time task may has been added");
    }
    return Trigger();
}

void EngineSteps::_UserLoginDetected()
{
    if (!m_parts.m_pTaskManager)
        return;
    KSLOG_NORMAL_AS(kUserLogin, L"A user logged in. Adding login tasks to Q if they exist. Then triggering scheduler");
    m_parts.m_pTaskManager->_AddToQ(KS_TASK_LOGON, 0, 0, 0);
    Trigger();
}

void EngineSteps::takeRunNowRequests()
{
    CKsTaskManager& tasks = *m_parts.m_pTaskManager;
    const std::vector<std::wstring> names = m_parts.m_runNow.take();
    // A request can name a task created a moment before it whose new-task event the loop has not
    // served yet (the request's message came first): the store, which the request was checked
    // against, is read again before the request is judged.
    if (std::any_of(names.begin(), names.end(), [&](const std::wstring& name) { return !tasks.tasks().count(name); }))
        tasks.Refresh();
    for (const std::wstring& name : names)
        tasks.AskRunNow(name);
}

// A suspended engine, or one still in its start delay, keeps the request for its first queue
// build; so does one in connected standby, which runs nothing until the machine wakes.
void EngineSteps::onRunNow()
{
    if (!isStarted(*m_parts.m_board) || !m_parts.m_pTaskManager) {
        KSLOG_INFO_AS(kOnRunNow, L"Run-now request kept until the engine runs tasks again");
        return;
    }
    if (m_parts.m_probes.connectedStandby()) {
        KSLOG_INFO_AS(kOnRunNow, L"Run-now request kept until the machine leaves connected standby");
        return;
    }
    Trigger();
}

// The engine's own switch-off (queue drained, timer re-armed, exit) ends the run at once; its
// response is published here, after the switch's lock.
void EngineSteps::SetAMMode(bool bAMMode)
{
    AutoMaintenance& am = m_parts.m_am;
    const bool wasOn = am.on();
    const bool respond = am.decide(bAMMode, true, isStarted(*m_parts.m_board));
    if (wasOn && !am.on())
        move({EngineEvent::maintenanceEnds});
    if (respond)
        AutoMaintenanceResponse(m_parts.m_pBus).publish();
}

} // namespace Keelwork::engine
