// CKsTaskScheduler's out-of-box experience: the OEM set-up and the one-shot OOBE mode at start-up,
// the start that follows, and leaving OOBE mode once every hold ran out.
#include "engine/TaskScheduler.h"

#include "engine/TaskManager.h"
#include "logging/internal_logging.h"
#include "platform/PlatformProbes.h"

namespace Keelwork::engine {

void CKsTaskScheduler::_OobeCheck()
{
    KSLOG_NORMAL(L"Checking for OOBEDONE");
    // The wait can last for hours before the loop's first step: told to other processes at once.
    if (!m_gate.waitForOemSetUp(m_hExitEvent, [this] {
            enterPhase(EnginePhase::starting, EngineReason::oemSetUp);
            m_mirror.follow(*m_board);
        }))
        return;
    KSLOG_NORMAL(L"Checking if we are in factory mode");
    m_pTaskManager->SetOobeModeState(StartGate::readOobeMode());
    if (!m_pTaskManager->IsOobeMode())
        return;
    KSLOG_NORMAL(L"Checking if OOBE wait exists");
    const uint32_t globalWait = SchedulerSettingsLoader(m_customization).loadGlobalOobeWait();
    KSLOG_NORMAL(L"InitOobeWaitPerTask() called");
    m_gate.setOobeStartDelay(m_pTaskManager->InitOobeWaitPerTask(globalWait));
}

void CKsTaskScheduler::_OobeStart()
{
    // In safe mode nothing runs, out-of-box start or not.
    if (IsRestartPending() || m_gate.safeMode())
        return;
    m_bSuspended = 0;
    KSLOG_NORMAL(L"Refreshing task scheduler data and then triggering it immediately");
    m_pTaskManager->Refresh();
    Trigger();
    InitialKickStart(true);
}

void CKsTaskScheduler::_OobeExpiry()
{
    if (!m_pTaskManager || !m_pTaskManager->IsOobeMode())
        return;
    KSLOG_NORMAL(L"_RefreshOobeWaitPerTask() called");
    if (!m_pTaskManager->RefreshOobeWaitPerTask() && m_pTaskManager->GlobalOobeWaitElapsed())
        m_pTaskManager->SetOobeModeState(0);
}

} // namespace Keelwork::engine
