// The start-up checks: installation, OEM set-up, out-of-box mode, reboot, pending restart and safe
// mode, and the start delay they add up to.
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
constexpr const char* kCheckOobedone = "CKsTaskScheduler::_CheckOobedone";
constexpr const char* kInit = "CKsTaskScheduler::_Init";
constexpr const char* kKickStart = "CKsTaskScheduler::InitialKickStart";
namespace {

constexpr DWORD kOobeDoneRereadMs = 30000;
constexpr DWORD kOobeWatchFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
constexpr uint32_t kShortDelayMs = 10;

bool exitSignalled(HANDLE exitEvent)
{
    return ::WaitForSingleObject(exitEvent, 0) == WAIT_OBJECT_0;
}

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

bool StartGate::waitForOemSetUp(HANDLE exitEvent, const std::function<void()>& waiting)
{
    CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, KsPlatform::names::kOemKey, KEY_READ | KEY_NOTIFY | KEY_WOW64_64KEY) !=
        ERROR_SUCCESS) {
        KSLOG_NORMAL_AS(kCheckOobedone, L"OEM Key / OOBEDONE not found; not a factory install");
        return true;
    }
    unique_event changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    LONG rc = changed ? key.notifyChange(false, kOobeWatchFilter, changed.get(), true) : ERROR_OUTOFMEMORY;
    if (rc != ERROR_SUCCESS) {
        KSLOG_ERROR_AS(kCheckOobedone, L"Could not monitor OEM Key ( error code %ld)", rc);
        return true;
    }
    for (bool told = false;; told = true) {
        DWORD type = REG_NONE;
        DWORD done = 0;
        DWORD size = sizeof done;
        if (key.queryValue(kOobeDoneValue, &type, &done, &size) != ERROR_SUCCESS || type != REG_DWORD ||
            size != sizeof done) {
            KSLOG_NORMAL_AS(kCheckOobedone, L"OOBEDONE not found; not a factory install");
            return true;
        }
        if (done != 0) {
            KSLOG_NORMAL_AS(kCheckOobedone, L"Found OOBEDONE != 0, continuing with OOBEMODE check");
            return true;
        }
        KSLOG_NORMAL_AS(kCheckOobedone, L"Found OOBEDONE=0; Waiting for OOBEDONE=1");
        if (!told && waiting)
            waiting();
        if (exitSignalled(exitEvent))
            return false;
        const HANDLE handles[] = {changed.get(), exitEvent};
        if (::WaitForMultipleObjects(2, handles, FALSE, kOobeDoneRereadMs) == WAIT_OBJECT_0 + 1)
            return false;
        // A notification fires once; watch again before reading, so no change is missed.
        key.notifyChange(false, kOobeWatchFilter, changed.get(), true);
    }
}

uint32_t StartGate::readOobeMode()
{
    CRegKey key;
    DWORD mode = 0;
    if (key.open(HKEY_LOCAL_MACHINE, KsPlatform::names::kOemKey, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY) ==
        ERROR_SUCCESS) {
        if (key.getDwordValue(kOobeModeValue, mode) != ERROR_SUCCESS)
            mode = 0;
        // One-shot: the next start is a normal one.
        key.deleteValue(kOobeModeValue);
    }
    return mode;
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

uint32_t StartGate::startDelayMs(bool outOfBox) const
{
    uint32_t delayMs = kShortDelayMs;
    if (!outOfBox) {
        KSLOG_NORMAL_AS(kKickStart, L"Kickstarting TS");
        if (m_bRebooted)
            delayMs = m_dwRebootDelay * 1000;
        if (m_bInstallCompleted) {
            KSLOG_NORMAL_AS(kKickStart,
                            L"Installation Completed before KickStart Start, So resetting final wait time to zero");
            delayMs = 0;
        }
    } else {
        KSLOG_NORMAL_AS(kKickStart,
                        L"Kickstarting TS. But we are being asked to look for OOBE value. Looking for it...");
        if (m_dwOobeStartDelay != 0)
            delayMs = m_dwOobeStartDelay * 1000;
    }
    return delayMs;
}

} // namespace Keelwork::engine
