// The execution pump: one queued task per pump message, held back while the machine is in
// connected standby, updates install, or the pump's holds (idle user, full-screen application)
// keep the head task, each within its limit.
#include "engine/TaskScheduler.h"

#include "common/Clock.h"
#include "engine/EngineCodes.h"
#include "engine/EngineNames.h"
#include "engine/TaskManager.h"
#include "logging/internal_logging.h"
#include "platform/AssumedProbeServices.h"
#include "platform/KsUpdateMgr/KsUpdateMgr_Helper.h"
#include "platform/PlatformProbes.h"
#include "platform/SystemProbeServices.h"

namespace Keelwork::engine {
namespace {

constexpr DWORD kUpdateInstallingPhase = 3;
constexpr DWORD kUpdateInstallingWait = 300;

} // namespace

bool SystemPumpProbes::idle()
{
    KsPlatform::SystemProbeServices system(m_exitEvent, m_bus);
    return IsIdleMode(KsPlatform::AssumedProbeServices(system, {.connectedStandby = m_standby}).services());
}

bool SystemPumpProbes::fullScreen()
{
    KsPlatform::SystemProbeServices system(m_exitEvent, m_bus);
    return IsFullScreen(KsPlatform::AssumedProbeServices(system, {.connectedStandby = m_standby}).services());
}

bool SystemPumpProbes::connectedStandby()
{
    m_standby = IsConnectedStandby(nullptr, KsPlatform::SystemProbeServices(m_exitEvent, m_bus));
    return *m_standby;
}

bool SystemPumpProbes::updateInstalling()
{
    BOOL running = FALSE;
    DWORD phase = 0;
    const HRESULT hr = CKsUpdateMgr_Helper(L"default").IsUpdateRunning2(&running, &phase);
    return SUCCEEDED(hr) && running && phase == kUpdateInstallingPhase;
}

void CKsTaskScheduler::_TaskExecutionPump()
{
    if (!m_pTaskManager)
        return;
    m_probes.beginStep();
    if (!m_am.on() && m_probes.connectedStandby()) {
        move({EngineEvent::standbyFound, 0, EngineReason::none, Clock::current().now() + kConnectedStandbyRearmSeconds});
        return;
    }
    move({EngineEvent::standbyOver});
    if (m_probes.updateInstalling()) {
        KSLOG_INFO(L"Schedule task installing updates. Setting timer");
        _SetTimer(kUpdateInstallingWait);
        return;
    }
    KSLOG_NORMAL(L"Task execution pump. If the execution Q is not empty, we will take the top task in the Q and "
                 L"execute it");
    const QueueItem* head = m_pTaskManager->queue().top();
    if (!head) {
        KSLOG_NORMAL(L"There are no more items in the Q. Setting waitable timer. Reseting full screen wait flag");
        m_pump.batchEnds();
        m_pTaskManager->EndBatch();
        _SetTaskWaitableTimer(0);
        return;
    }
    KSLOG_INFO(L"Fetching task from Queue Name:%s , WaitForIdleMode: %d, ", head->name.c_str(),
               m_pTaskManager->ShouldTopTaskWaitForIdle() ? 1 : 0);
    if (holdHeadTask(head->name))
        return;
    _RunTopTask();
}

bool CKsTaskScheduler::holdHeadTask(const std::wstring& head)
{
    std::optional<PumpHold> held;
    const bool amMode = m_am.on();
    if (!amMode && !m_pump.idlePhaseDone() && m_pTaskManager->ShouldTopTaskWaitForIdle())
        held = m_pump.holdForIdle(head, [this] { return m_pTaskManager->ShouldTopTaskWaitForIdle(); },
                                  Clock::current().now());
    if (!held)
        held = m_pump.holdForFullScreen(head, amMode, Clock::current().now());
    if (!held)
        return false;
    m_pTaskManager->Hold(head, held->hold);
    _SetTaskWaitableTimer(held->lookAgainAt);
    return true;
}

void CKsTaskScheduler::_RunTopTask()
{
    m_pump.taskRuns(m_pTaskManager->ShouldTopTaskWaitForIdle());
    std::wstring name;
    const DWORD result = m_pTaskManager->RunAndPopTopTask(name, m_pBus);
    if (result == kStopping) {
        m_loop.cancelTimer();
        ::PostQuitMessage(0);  // the exit event stays set: the loop ends at its next wait
    } else if (result == kRestartPending) {
        move({EngineEvent::suspend, 0, EngineReason::restartPending});
        KSLOG_NORMAL(L"Update task has just run and we have found that a reboot is required. SUSPENDING TASK "
                     L"SCHEDULER");
    } else {
        KSLOG_NORMAL(L"Continuing with Q execution pump");
        ::PostMessageW(m_window.get(), kPumpMessage, 0, 0);
    }
}

} // namespace Keelwork::engine
