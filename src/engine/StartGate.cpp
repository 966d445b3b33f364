// The start-up checks: installation, reboot, pending restart and safe mode, and the start delay
// they add up to.
#include "engine/StartGate.h"

#include "engine/SchedulerRegistry.h"
#include "engine/SchedulerSettings.h"
#include "logging/LogAs.h"
#include "platform/BootMode.h"
#include "platform/PlatformNames.h"
#include "platform/PlatformProbes.h"
#include "registry/RegKey.h"

namespace Keelwork::engine {

// The functions the log contract gives these lines, whichever helper writes them.
constexpr const char* kInit = "CKsTaskScheduler::_Init";
constexpr const char* kKickStart = "CKsTaskScheduler::InitialKickStart";
namespace {

constexpr uint32_t kShortDelayMs = 10;

} // namespace

void StartGate::readInstallState()
{
    m_bInstalling = installationInProgress() ? 1 : 0;
}

bool StartGate::completeInstall()
{
    if (m_bInstalling.exchange(0) == 0)
        return false;
    m_bInstallCompleted = 1;
    return true;
}

bool StartGate::checkReboot(uint32_t rebootDelay)
{
    KSLOG_NORMAL_AS(kInit, L"Checking if current start is a reboot");
    if (!IsFirstStartSinceBoot()) {
        m_bRebooted = 0;
        return false;
    }
    KSLOG_NORMAL_AS(kInit, L"Machine has just been rebooted");
    m_bRebooted = 1;
    m_dwRebootDelay = rebootDelay;
    return true;
}

EngineReason StartGate::checkRestartAndSafeMode()
{
    if (IsRestartPending()) {
        KSLOG_CRITICAL_AS(kInit,
                          L"Wait a min. An update that required reboot had happened and the machine has not yet been "
                          L"reboted. Scheduler will SUSPEND ALL EXECUTION");
        return EngineReason::restartPending;
    }
    KSLOG_NORMAL_AS(kInit, L"Now checking if we are in safe mode");
    if (KsPlatform::BootMode::current().cleanBoot() != 0) {
        KSLOG_CRITICAL_AS(kInit,
                          L"This is not a normal boot. It is some kind of safe mode boot. Scheduler will SUSPEND ALL "
                          L"EXECUTION");
        m_bSafeMode = true;
        return EngineReason::safeMode;
    }
    return EngineReason::none;
}

uint32_t StartGate::startDelayMs() const
{
    KSLOG_NORMAL_AS(kKickStart, L"Kickstarting TS");
    uint32_t delayMs = m_bRebooted ? m_dwRebootDelay * 1000 : kShortDelayMs;
    if (m_bInstallCompleted) {
        KSLOG_NORMAL_AS(kKickStart, L"Installation Completed before KickStart Start, So resetting final wait time to zero");
        delayMs = 0;
    }
    return delayMs;
}

} // namespace Keelwork::engine
