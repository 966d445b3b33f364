// The checks that may defer a launch before its program starts (battery, touch-first mode, a
// metered connection, the on-demand scan), in the order the launch makes them, and what a
// deferral then writes. The same checks answer "what if it were due now" without writing.
#include "execution/SingleTask.h"

#include "common/Clock.h"
#include "execution/DeferralCodes.h"
#include "execution/ModuleFromClsid.h"
#include "execution/ProcessRunning.h"
#include "execution/TaskExecutionNames.h"
#include "execution/TrustedFile.h"
#include "logging/internal_logging.h"
#include "platform/PlatformProbes.h"

using namespace KsExecution::names;
using KsExecution::DeferralCode;

namespace {

constexpr DWORD kMetroModeBit = 0x2;
constexpr DWORD kMeteredBit = 0x1;

} // namespace

bool CSingleTask::updateBatteryWaitIsOver(bool mark)
{
    const uint32_t now = Keelwork::Clock::current().now();
    DWORD updRun = 0;
    if (readTaskDword(KsStore::ValueName::UpdRun, updRun) && updRun != 0)
        return (static_cast<double>(now) - updRun) / 86400.0 >= m_dwUpdateBatteryTimeout;
    if (mark)
        writeTaskDword(KsStore::ValueName::UpdRun, now);
    return false;
}

bool CSingleTask::batteryDefers(bool mark)
{
    const bool updateTask = isUpdateTask();
    if (dwBatteryWise == 0 && !(updateTask && m_dwStopUpdatesOnBattery != 0))
        return false;
    SYSTEM_POWER_STATUS power{};
    if (!m_probes->power.query(power) || power.ACLineStatus != 0)
        return false;
    return !(updateTask && updateBatteryWaitIsOver(mark));
}

bool CSingleTask::metroModeDefers()
{
    if ((dwMeteredAccessWise & kMetroModeBit) == 0)
        return false;
    KSLOG_NORMAL(L"The task is MetroMode wise");
    if (!TaskSchedIsMetroMode(*m_probes)) {
        KSLOG_NORMAL(L"It is NOT MetroMode");
        return false;
    }
    KSLOG_NORMAL(L"It is MetroMode");
    return true;
}

bool CSingleTask::meteredDefers()
{
    return (dwMeteredAccessWise & kMeteredBit) != 0 && m_dwMeteredAccessAttemped < m_dwMeteredAccessAttemptsAllowed &&
           IsMeteredAccess(*m_probes);
}

std::optional<LaunchReport::Deferral> CSingleTask::firstDeferral(bool mark)
{
    using Deferral = LaunchReport::Deferral;
    const auto deferral = [](DeferralCode code, DWORD delay, DWORD error = 0) {
        return Deferral{static_cast<uint32_t>(code), delay, error};
    };
    if (batteryDefers(mark))
        return deferral(DeferralCode::battery, m_dwBatteryPollInterval);
    if (metroModeDefers())
        return deferral(DeferralCode::metroMode, m_dwBatteryPollInterval);
    if (meteredDefers())
        return deferral(DeferralCode::metered, m_dwMeteredAccessPollInterval);
    if (isTask(kOnDemandScanTask)) {
        std::wstring moduleName;
        std::wstring longModuleName;
        const DWORD lookup = m_services.moduleNameFromClsid
                                 ? m_services.moduleNameFromClsid(kOnDemandScanClsid, moduleName, longModuleName)
                                 : KsModuleNameFromCLSID(kOnDemandScanClsid, moduleName, longModuleName);
        if (lookup != 0)
            return deferral(DeferralCode::scanModuleMissing, m_dwMeteredAccessPollInterval, lookup);
        if (_IsProcessRunning(moduleName.c_str(), longModuleName.c_str()))
            return deferral(DeferralCode::scanRunning, m_dwBatteryPollInterval);
    } else if (isUpdateTask() && !updateBatteryWaitIsOver(mark) && _IsProcessRunning(kOnDemandScanProgram, nullptr)) {
        return deferral(DeferralCode::updateWhileScanRuns, m_dwBatteryPollInterval);
    }
    return std::nullopt;
}

DWORD CSingleTask::applyDeferral(const LaunchReport::Deferral& deferral)
{
    const auto code = static_cast<DeferralCode>(deferral.code);
    switch (code) {
    case DeferralCode::metroMode:
        WriteNextRunFromNow(deferral.delay);
        deferLaunch(code, deferral.delay, 0);
        return 0;
    case DeferralCode::metered:
        deferLaunch(code, deferral.delay, 0);
        WriteNextRunFromNow(deferral.delay);
        ++m_dwMeteredAccessAttemped;
        writeTaskDword(KsStore::ValueName::Postponed, m_dwMeteredAccessAttemped);
        return 0;
    case DeferralCode::scanModuleMissing:
        // The next run stays: the task is looked at again at the next queue build.
        deferLaunch(code, deferral.delay, deferral.error);
        return deferral.error;
    default:
        deferLaunch(code, deferral.delay, deferral.error);
        WriteNextRunFromNow(deferral.delay);
        return 0;
    }
}

std::optional<LaunchReport::Deferral> CSingleTask::WouldDefer(const KsPlatform::ProbeServices& probes)
{
    readLaunchState();
    m_probes = &probes;
    std::optional<LaunchReport::Deferral> deferral = firstDeferral(false);
    if (!deferral && dwTaskTrigType == KS_TRIGGER_PROCESS) {
        Keelwork::unique_handle heldFile;
        KsExecution::ITrustValidator& trust = KsExecution::trustValidatorOr(m_services.trust);
        if (const DWORD validation = trust.validate(pwszTaskTrigger, heldFile); validation != 0)
            deferral = LaunchReport::Deferral{static_cast<uint32_t>(DeferralCode::validation), m_dwBatteryPollInterval,
                                              validation};
    }
    m_probes = nullptr;
    return deferral;
}
