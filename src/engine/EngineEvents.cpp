// The engine's answers to what wakes it: the loop's handles, its window's messages (timers,
// log-ons, the pump, power notifications), the installer's message and other threads' requests.
#include "engine/EngineEvents.h"

#include "common/Clock.h"
#include "engine/EngineCodes.h"
#include "engine/EngineNames.h"
#include "engine/TaskManager.h"
#include "logging/LogAs.h"
#include "message/Message.h"
#include "platform/PlatformProbes.h"
#include "store/TaskName.h"

namespace Keelwork::engine {

void EngineEvents::betweenSteps()
{
    if (m_parts.m_pTaskManager)
        m_parts.m_pTaskManager->settleLimits();
    m_parts.m_mirror.follow(*m_parts.m_board);
}

void EngineEvents::onTimer()
{
    if (m_parts.m_probes.connectedStandby()) {
        KSLOG_NORMAL_AS("CKsTaskScheduler::onTimer", L"CS is ON, Set a large timer");
        m_steps.move(
            {EngineEvent::standbyFound, 0, EngineReason::none, Clock::current().now() + kConnectedStandbyRearmSeconds});
        return;
    }
    m_steps.SetAMMode(false);
    m_parts.m_loop.cancelTimer();
    m_steps.move({EngineEvent::standbyOver});
    m_steps.Trigger();
    // Nothing queued: no pump step comes to take or let go what was read for this time.
    if (!m_parts.m_pTaskManager || m_parts.m_pTaskManager->queue().empty())
        m_parts.m_readAhead.release();
}

// Only an engine that queues tasks by time reads ahead of one: another would hold the file
// until it runs tasks again.
void EngineEvents::onReadAhead()
{
    if (m_parts.m_pTaskManager && isStarted(*m_parts.m_board))
        m_parts.m_readAhead.read(*m_parts.m_pTaskManager);
}

// The named event is set by another process (or by this one when its inbox refused the name).
void EngineEvents::onNewTask()
{
    m_steps.Refresh(RefreshScope::written);
}

void EngineEvents::onChangedTasks()
{
    m_steps.Refresh(RefreshScope::named);
}

void EngineEvents::onLogon()
{
    ::SetTimer(m_parts.m_window.get(), kLogonTimer, kLogonTimerMs, nullptr);
}

void EngineEvents::onAutoMaintenance()
{
    m_parts.m_loop.cancelTimer();
    m_steps.move({EngineEvent::maintenanceBegins});
    m_parts.m_pTaskManager->Refresh();
    m_steps.Trigger();
}

void EngineEvents::requestRunNow(const std::wstring& name)
{
    const std::wstring key = KsStore::TaskIdentity(name).key();
    // The run in progress answers the request: the task runs once.
    if (m_parts.m_board && m_parts.m_board->read(key).second.running) {
        KSLOG_INFO_AS("CKsTaskScheduler::requestRunNow",
                      L"Task %s runs now; the run-now request is answered by that run", name.c_str());
        return;
    }
    // A repeat finds its task waiting already: the message posted for it suffices.
    if (!m_parts.m_runNow.ask(key))
        return;
    // Before the window exists the start's first queue build takes the request.
    if (HWND window = m_parts.m_window.get())
        ::PostMessageW(window, kRunNowMessage, 0, 0);
}

// Another module's request, on its thread: the board is read, never written, here; a run stopped
// is told to the engine thread, which alone moves the phase (a run begins when it takes the
// event). The response goes out through the engine's own client once the switch's lock is
// released: a client made per response loads the bus library, and publishing under the lock
// stalls every other caller.
std::unique_ptr<AutoMaintenanceResponse> EngineEvents::requestAMMode(bool on)
{
    const bool wasOn = m_parts.m_am.on();
    const bool respond = m_parts.m_am.decide(on, false, isStarted(*m_parts.m_board));
    if (wasOn && !m_parts.m_am.on()) {
        if (HWND window = m_parts.m_window.get())
            ::PostMessageW(window, kMaintenanceEndedMessage, 0, 0);
    }
    return respond ? std::make_unique<AutoMaintenanceResponse>(m_parts.m_pBus) : nullptr;
}

uint32_t EngineEvents::OnInstallComplete(const std::shared_ptr<Tessel::Message>& message)
{
    if (m_parts.m_gate.completeInstall()) {
        KSLOG_INFO_AS("CKsTaskScheduler::OnInstallComplete", L"Received message on Install Complete %s",
                      message ? message->payload().c_str() : L"");
        // Before the window exists the start-up sees the completion and starts without delay.
        if (HWND window = m_parts.m_window.get())
            ::PostMessageW(window, WM_TIMER, kStartDelayTimer, 0);
    }
    return 0;
}

LRESULT EngineEvents::onWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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
        if (isSuspended(*m_parts.m_board)) {
            KSLOG_NORMAL_AS("CKsTaskScheduler::onWindowMessage",
                            L"Task scheduler has been SUSPENDED. Not processing any messages");
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
        if (isSuspended(*m_parts.m_board)) {
            KSLOG_NORMAL_AS("CKsTaskScheduler::onWindowMessage",
                            L"Task scheduler has been SUSPENDED. Not processing any messages");
            break;
        }
        m_steps._UserLoginDetected();
        return 0;
    case kRunNowMessage:
        m_steps.onRunNow();
        return 0;
    case kMaintenanceEndedMessage:
        m_steps.move({EngineEvent::maintenanceEnds});
        return 0;
    case kPumpMessage:
        if (isSuspended(*m_parts.m_board)) {
            KSLOG_INFO_AS("CKsTaskScheduler::onWindowMessage",
                          L"Task scheduler has been SUSPENDED. Not processing any messages");
            break;
        }
        m_steps._TaskExecutionPump();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

bool EngineEvents::_Handle_WM_TIMER(UINT_PTR id)
{
    if (id == kStartDelayTimer) {
        ::KillTimer(m_parts.m_window.get(), kStartDelayTimer);
        KSLOG_NORMAL_AS("CKsTaskScheduler::_Handle_WM_TIMER", L"Start delay timer has hit. Operation now begins");
        const bool standby = m_parts.m_probes.connectedStandby();
        if (standby)
            KSLOG_NORMAL_AS("CKsTaskScheduler::_Handle_WM_TIMER", L"CS mode, don't trigger the task");
        m_steps.move({.event = EngineEvent::startDelayOver, .standby = standby});
        return true;
    }
    if (id == kLogonTimer) {
        ::KillTimer(m_parts.m_window.get(), kLogonTimer);
        ::PostMessageW(m_parts.m_window.get(), kLogonMessage, 0, 0);
        return true;
    }
    return false;
}

void EngineEvents::_JustBeforeSuspend()
{
    KSLOG_INFO_AS("CKsTaskScheduler::_JustBeforeSuspend", L"Suspend was initiated");
    ::KillTimer(m_parts.m_window.get(), kStartDelayTimer);
    m_steps.move({EngineEvent::machineSuspends});
}

void EngineEvents::_SuspendWasAborted()
{
    KSLOG_INFO_AS("CKsTaskScheduler::_SuspendWasAborted", L"Suspend was aborted");
    _ResumeAfterSuspend();
}

void EngineEvents::_ResumeAfterSuspend()
{
    KSLOG_INFO_AS("CKsTaskScheduler::_ResumeAfterSuspend", L"Resumed after suspend");
    m_parts.m_loop.cancelTimer();
    Keelwork::unique_event factoryEvent;
    if (IsFactoryMode(&factoryEvent))
        return;  // the engine does not wait on the factory event: the owner closes it here
    m_parts.m_gate.resumed();
    const uint32_t wait = SchedulerSettingsLoader(m_parts.m_customization).loadAfterSuspendWait();
    ::SetTimer(m_parts.m_window.get(), kStartDelayTimer, wait * 1000, nullptr);
    m_steps.move({EngineEvent::startDelayBegins, 0, EngineReason::none, Clock::current().now() + wait});
}

} // namespace Keelwork::engine
