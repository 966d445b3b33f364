// CKsTaskScheduler's answers to what wakes it: the loop's handles, its window's messages (timers,
// log-ons, the pump, power notifications), the installer's message and auto-maintenance requests.
#include "engine/TaskScheduler.h"

#include "common/Clock.h"
#include "engine/EngineCodes.h"
#include "engine/EngineNames.h"
#include "engine/TaskManager.h"
#include "logging/internal_logging.h"
#include "message/Message.h"
#include "platform/PlatformProbes.h"
#include "store/TaskName.h"

namespace Keelwork::engine {

void CKsTaskScheduler::onTimer()
{
    if (m_probes.connectedStandby()) {
        KSLOG_NORMAL(L"CS is ON, Set a large timer");
        move({EngineEvent::standbyFound, 0, EngineReason::none, Clock::current().now() + kConnectedStandbyRearmSeconds});
        return;
    }
    SetAMMode(false, nullptr, true);
    m_loop.cancelTimer();
    move({EngineEvent::standbyOver});
    Trigger();
}

void CKsTaskScheduler::onNewTask()
{
    Refresh();
}

void CKsTaskScheduler::onLogon()
{
    ::SetTimer(m_window.get(), kLogonTimer, kLogonTimerMs, nullptr);
}

void CKsTaskScheduler::onAutoMaintenance()
{
    m_loop.cancelTimer();
    move({EngineEvent::maintenanceBegins});
    m_pTaskManager->Refresh();
    Trigger();
}

DWORD CKsTaskScheduler::Trigger()
{
    KSLOG_INFO(L"Task scheduler triggered");
    if (!m_pTaskManager)
        return kNoTaskManager;
    KSLOG_NORMAL(L"Checking if we are supposed to run any task at all (we could be delaying startup after reboot)");
    if (!isStarted(*m_board)) {
        KSLOG_NORMAL(L"Not triggering the task. We are still in wait mode");
        return 0;
    }
    KSLOG_NORMAL(L"Creating a Q of overdue tasks");
    _TakeRunNowRequests();
    bool queued = true;
    for (DWORD type : {KS_TASK_CUSTOM, KS_TASK_PRESET, KS_TASK_SCHEDULED}) {
        if (m_pTaskManager->_AddToQ(type, 0, m_am.on() ? 1 : 0, m_settings.futureTaskWindow) != 0) {
            queued = false;  // out of memory: the rest waits for the next trigger
            break;
        }
    }
    if (queued && m_pTaskManager->AddDeferredOccasionsToQ() == 0)
        m_pTaskManager->AddRunNowTasksToQ();
    if (!m_pTaskManager->queue().empty()) {
        KSLOG_INFO(L"There are some items in the Q. Starting task pump");
        ::PostMessageW(m_window.get(), kPumpMessage, 0, 0);
    } else {
        KSLOG_INFO(L"There is nothing in the Q. Nothing to execute. Setting waitable timer");
        _SetTaskWaitableTimer(0);
    }
    return 0;
}

DWORD CKsTaskScheduler::Refresh()
{
    if (!m_pTaskManager)
        return kNoTaskManager;
    KSLOG_NORMAL(L"Refreshing task scheduler data and then triggering it immediately");
    m_pTaskManager->Refresh();
    if (!isSuspended(*m_board) && !isStarted(*m_board) && m_pTaskManager->IsOobeMode()) {
        move({EngineEvent::outOfBoxRefresh});
        KSLOG_NORMAL(L"We will allow the triger() to work as a less oobe_wait time task may has been added");
    }
    return Trigger();
}

void CKsTaskScheduler::_UserLoginDetected()
{
    if (!m_pTaskManager)
        return;
    KSLOG_NORMAL(L"A user logged in. Adding login tasks to Q if they exist. Then triggering scheduler");
    m_pTaskManager->_AddToQ(KS_TASK_LOGON, 0, 0, 0);
    Trigger();
}

void CKsTaskScheduler::requestRunNow(const std::wstring& name)
{
    const std::wstring key = KsStore::TaskIdentity(name).key();
    // The run in progress answers the request: the task runs once.
    if (m_board && m_board->read(key).second.running) {
        KSLOG_INFO(L"Task %s runs now; the run-now request is answered by that run", name.c_str());
        return;
    }
    {
        SrwExclusive hold(m_runNowLock);
        m_runNowAsked.push_back(key);
    }
    // Before the window exists the start's first queue build takes the request.
    if (HWND window = m_window.get())
        ::PostMessageW(window, kRunNowMessage, 0, 0);
}

void CKsTaskScheduler::_TakeRunNowRequests()
{
    std::vector<std::wstring> names;
    {
        SrwExclusive hold(m_runNowLock);
        names.swap(m_runNowAsked);
    }
    for (const std::wstring& name : names)
        m_pTaskManager->AskRunNow(name);
}

// A suspended engine, or one still in its start delay, keeps the request for its first queue
// build; so does one in connected standby, which runs nothing until the machine wakes.
void CKsTaskScheduler::_OnRunNow()
{
    if (!isStarted(*m_board) || !m_pTaskManager) {
        KSLOG_INFO(L"Run-now request kept until the engine runs tasks again");
        return;
    }
    if (m_probes.connectedStandby()) {
        KSLOG_INFO(L"Run-now request kept until the machine leaves connected standby");
        return;
    }
    Trigger();
}

// The engine's own switch-off (queue drained, timer re-armed, exit) ends the run at once; its
// response is published here, after the switch's lock.
void CKsTaskScheduler::SetAMMode(bool bAMMode, void*, bool bInternalCall)
{
    if (!bInternalCall) {
        if (std::unique_ptr<AutoMaintenanceResponse> response = requestAMMode(bAMMode))
            response->publish();
        return;
    }
    const bool wasOn = m_am.on();
    const bool respond = m_am.decide(bAMMode, true, isStarted(*m_board));
    if (wasOn && !m_am.on())
        move({EngineEvent::maintenanceEnds});
    if (respond)
        AutoMaintenanceResponse(m_pBus).publish();
}

// Another module's request, on its thread: the board is read, never written, here; a run stopped
// is told to the engine thread, which alone moves the phase (a run begins when it takes the
// event). The response goes out through the engine's own client once the switch's lock is
// released: a client made per response loads the bus library, and publishing under the lock
// stalls every other caller.
std::unique_ptr<AutoMaintenanceResponse> CKsTaskScheduler::requestAMMode(bool on)
{
    const bool wasOn = m_am.on();
    const bool respond = m_am.decide(on, false, isStarted(*m_board));
    if (wasOn && !m_am.on()) {
        if (HWND window = m_window.get())
            ::PostMessageW(window, kMaintenanceEndedMessage, 0, 0);
    }
    return respond ? std::make_unique<AutoMaintenanceResponse>(m_pBus) : nullptr;
}

uint32_t CKsTaskScheduler::OnInstallComplete(const std::shared_ptr<Tessel::Message>& message)
{
    if (m_gate.completeInstall()) {
        KSLOG_INFO(L"Received message on Install Complete %s", message ? message->payload().c_str() : L"");
        // Before the window exists the start-up sees the completion and starts without delay.
        if (HWND window = m_window.get())
            ::PostMessageW(window, WM_TIMER, kStartDelayTimer, 0);
    }
    return 0;
}

LRESULT CKsTaskScheduler::onWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMSUSPEND)
            _JustBeforeSuspend();
        else if (wParam == PBT_APMQUERYSUSPENDFAILED)
            _SuspendWasAborted();
        else if (wParam == PBT_APMRESUMESUSPEND || wParam == PBT_APMRESUMEAUTOMATIC)
            _ResumeAfterSuspend();
        break;
    case WM_TIMER:
        if (isSuspended(*m_board)) {
            KSLOG_NORMAL(L"Task scheduler has been SUSPENDED. Not processing any messages");
            // The log-on timer repeats too: left alone it would wake and log every 30 seconds
            // for the engine's whole suspended life.
            ::KillTimer(window, kStartDelayTimer);
            ::KillTimer(window, kLogonTimer);
            break;
        }
        if (_Handle_WM_TIMER(wParam))
            return 0;
        break;
    case kLogonMessage:
        if (isSuspended(*m_board)) {
            KSLOG_NORMAL(L"Task scheduler has been SUSPENDED. Not processing any messages");
            break;
        }
        _UserLoginDetected();
        return 0;
    case kRunNowMessage:
        _OnRunNow();
        return 0;
    case kMaintenanceEndedMessage:
        move({EngineEvent::maintenanceEnds});
        return 0;
    case kPumpMessage:
        if (isSuspended(*m_board)) {
            KSLOG_INFO(L"Task scheduler has been SUSPENDED. Not processing any messages");
            break;
        }
        _TaskExecutionPump();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

bool CKsTaskScheduler::_Handle_WM_TIMER(UINT_PTR id)
{
    if (id == kStartDelayTimer) {
        ::KillTimer(m_window.get(), kStartDelayTimer);
        KSLOG_NORMAL(L"Start delay timer has hit. Operation now begins");
        const bool standby = m_probes.connectedStandby();
        if (standby)
            KSLOG_NORMAL(L"CS mode, don't trigger the task");
        move({.event = EngineEvent::startDelayOver, .standby = standby});
        return true;
    }
    if (id == kLogonTimer) {
        ::KillTimer(m_window.get(), kLogonTimer);
        ::PostMessageW(m_window.get(), kLogonMessage, 0, 0);
        return true;
    }
    return false;
}

void CKsTaskScheduler::_JustBeforeSuspend()
{
    KSLOG_INFO(L"Suspend was initiated");
    ::KillTimer(m_window.get(), kStartDelayTimer);
    move({EngineEvent::machineSuspends});
}

void CKsTaskScheduler::_SuspendWasAborted()
{
    KSLOG_INFO(L"Suspend was aborted");
    _ResumeAfterSuspend();
}

void CKsTaskScheduler::_ResumeAfterSuspend()
{
    KSLOG_INFO(L"Resumed after suspend");
    m_loop.cancelTimer();
    Keelwork::unique_event factoryEvent;
    if (IsFactoryMode(&factoryEvent))
        return;  // the engine does not wait on the factory event: the owner closes it here
    m_gate.resumed();
    const uint32_t wait = SchedulerSettingsLoader(m_customization).loadAfterSuspendWait();
    ::SetTimer(m_window.get(), kStartDelayTimer, wait * 1000, nullptr);
    move({EngineEvent::startDelayBegins, 0, EngineReason::none, Clock::current().now() + wait});
}

} // namespace Keelwork::engine
