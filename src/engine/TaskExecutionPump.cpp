// The execution pump: one queued task per pump message, held back while the machine is in
// connected standby, updates install, the head task waits for an idle user, or a full-screen
// application runs, each within its limit.
#include "engine/EngineNames.h"
#include "engine/TaskManager.h"
#include "engine/TaskScheduler.h"

#include "common/Clock.h"
#include "platform/KsUpdateMgr/KsUpdateMgr_Helper.h"
#include "platform/PlatformProbes.h"
#include "logging/internal_logging.h"

namespace Keelwork::engine {
namespace {

constexpr DWORD kUpdateInstallingPhase = 3;
constexpr DWORD kUpdateInstallingWait = 300;
constexpr DWORD kExitedByEngine = 1602;
constexpr DWORD kRestartPending = 1604;

} // namespace

void CKsTaskScheduler::_TaskExecutionPump()
{
    if (!m_pTaskManager)
        return;
    if (m_bAMMode == 0 && _ConnectedStandby()) {
        _SetTimer(kConnectedStandbyRearmSeconds);
        return;
    }
    BOOL updateRunning = FALSE;
    DWORD phase = 0;
    const HRESULT update = CKsUpdateMgr_Helper(L"default").IsUpdateRunning2(&updateRunning, &phase);
    if (SUCCEEDED(update) && updateRunning && phase == kUpdateInstallingPhase) {
        KSLOG_INFO(L"Schedule task installing updates. Setting timer");
        _SetTimer(kUpdateInstallingWait);
        return;
    }
    KSLOG_NORMAL(L"Task execution pump. If the execution Q is not empty, we will take the top task in the Q and "
                 L"execute it");
    const QueueItem* head = m_pTaskManager->queue().top();
    if (!head) {
        KSLOG_NORMAL(L"There are no more items in the Q. Setting waitable timer. Reseting full screen wait flag");
        m_bFullScreenTimedOut = 0;
        m_bIdlePhaseDone = 0;
        _SetTaskWaitableTimer(0);
        return;
    }
    KSLOG_INFO(L"Fetching task from Queue Name:%s , WaitForIdleMode: %d, ", head->name.c_str(),
               m_pTaskManager->ShouldTopTaskWaitForIdle() ? 1 : 0);
    const uint32_t now = Clock::current().now();
    if (m_bAMMode == 0 && m_bIdlePhaseDone == 0 && m_pTaskManager->ShouldTopTaskWaitForIdle() && _DeferForIdle(now))
        return;
    if (_DeferForFullScreen())
        return;
    _RunTopTask();
}

bool CKsTaskScheduler::_DeferForIdle(uint32_t now)
{
    KSLOG_NORMAL(L"There is an item waiting to be executed in the Q. First checking if machine is in idle mode");
    if (IsIdleMode(KsPlatform::SystemProbeServices(m_hExitEvent))) {
        KSLOG_NORMAL(L"User is in idle mode ");
        m_bIdlePhaseDone = 1;
    }
    if (m_idleWaitStart == 0) {
        KSLOG_NORMAL(L"Idle mode detection has just started. ");
        m_idleWaitStart = now;
    }
    // A clock set back since the wait began counts as no time waited: the hold stays, rather than
    // ending at once as if the limit had been reached.
    const uint64_t waited = elapsedSince(m_idleWaitStart, now);
    KSLOG_NORMAL(L"We have been waiting for a total of %lld seconds for idle mode to end. ",
                 static_cast<long long>(waited));
    if (waited >= m_settings.idleModeTimeout || m_bIdlePhaseDone) {
        m_bIdlePhaseDone = 1;
        KSLOG_NORMAL(L"We have moved beyond idle mode detection and will go to fullscreen detection");
        return false;
    }
    if (!m_pTaskManager->ShouldTopTaskWaitForIdle())
        return false;
    KSLOG_INFO(L"Task has been Deferred Name: %s Reason: Idle WaitTimeout: %d s",
               m_pTaskManager->queue().top()->name.c_str(), m_settings.idleModePoll);
    _SetTaskWaitableTimer(static_cast<uint32_t>(now + m_settings.idleModePoll));
    return true;
}

bool CKsTaskScheduler::_DeferForFullScreen()
{
    KSLOG_NORMAL(L"There is an item waiting to be executed in the Q. First checking if user is running a fullscreen "
                 L"application");
    if (m_bAMMode || m_bFullScreenTimedOut) {
        KSLOG_NORMAL(L"The current fullscreen mode wait has timed out. We will execute all tasks in the Q until it "
                     L"becomes empty");
        return false;
    }
    KSLOG_NORMAL(L"We are still waiting within the current %d sec period for the fullscreen mode to end",
                 m_settings.fullScreenWait);
    if (!IsFullScreen(KsPlatform::SystemProbeServices(m_hExitEvent)))
        return false;
    KSLOG_INFO(L"User is in fullscreen mode. Waiting for %u seconds before trying again", m_settings.fullScreenPoll);
    const uint32_t now = Clock::current().now();
    if (m_fullScreenStart == 0) {
        KSLOG_NORMAL(L"Fullscreen mode has just been detected. Noting down the current time as full screen start time");
        m_fullScreenStart = now;
    }
    // As for idle: a clock set back keeps the hold instead of ending it.
    const unsigned long long waited = elapsedSince(m_fullScreenStart, now);
    KSLOG_NORMAL(L"We have been waiting for a total of %llu seconds for fullscreen to end. Limit is %u seconds", waited,
                 m_settings.fullScreenWait);
    if (waited < m_settings.fullScreenWait) {
        KSLOG_INFO(L"Task has been Deferred Name: %s Reason: Full-screen WaitTimeout: %d s",
                   m_pTaskManager->queue().top()->name.c_str(), m_settings.fullScreenPoll);
        _SetTaskWaitableTimer(static_cast<uint32_t>(now + m_settings.fullScreenPoll));
        return true;
    }
    KSLOG_NORMAL(L"We have waited for fullscreen app to end long enough. Launching all the tasks in the Q");
    m_bFullScreenTimedOut = 1;
    return false;
}

void CKsTaskScheduler::_RunTopTask()
{
    m_fullScreenStart = 0;
    if (m_pTaskManager->ShouldTopTaskWaitForIdle())
        m_idleWaitStart = 0;
    std::wstring name;
    const DWORD result = m_pTaskManager->RunAndPopTopTask(name, m_pBus);
    if (result == kExitedByEngine) {
        _CancelTimer();
        ::PostQuitMessage(0);  // the exit event is set again: the loop ends at its next wait
    } else if (result == kRestartPending) {
        _CancelTimer();
        m_bSuspended = 1;
        KSLOG_NORMAL(L"Update task has just run and we have found that a reboot is required. SUSPENDING TASK "
                     L"SCHEDULER");
    } else {
        KSLOG_NORMAL(L"Continuing with Q execution pump");
        ::PostMessageW(m_hWnd.load(), kPumpMessage, 0, 0);
    }
}

} // namespace Keelwork::engine
