// Probes of the user's session: connected standby and full-screen state asked over the bus, the
// touch-first app state, and the idle detector's mutex.
#include "execution/PlatformProbes.h"

#include "common/ComPtr.h"
#include "execution/PlatformNames.h"
#include "logging/internal_logging.h"

namespace {
constexpr int kTouchFirstAppVisible = 2;
constexpr int kLauncherVisible = 3;
}

bool IsConnectedStandby(BOOL* pbOnBattery, const KsExecution::ProbeServices& services)
{
    if (pbOnBattery != nullptr) {
        SYSTEM_POWER_STATUS status = {};
        *pbOnBattery = services.power.query(status) && status.ACLineStatus == 0 ? TRUE : FALSE;
    }
    std::wstring reply;
    return services.bus.ask(KsExecution::names::kConnectedStandbyRequest, KsExecution::names::kConnectedStandbyTimeoutMs,
                            reply) &&
           reply == KsExecution::names::kConnectedStandbyOn;
}

bool TaskSchedIsMetroMode(const KsExecution::ProbeServices& services)
{
    if (IsConnectedStandby(nullptr, services)) {
        KSLOG_NORMAL(L"_IsMetroMode: CS mode is on, so return FALSE");
        return false;
    }
    int state = 0;
    {
        Keelwork::ComInitialization com;
        KsExecution::IAppVisibilityService& visibility = services.appVisibility;
        if (SUCCEEDED(visibility.connect())) {
            bool launcher = false;
            if (SUCCEEDED(visibility.isLauncherVisible(launcher)) && launcher)
                state = kLauncherVisible;
            else if (FAILED(visibility.primaryMonitorVisibility(state)))
                state = 0;
        }
        visibility.disconnect();
    }
    return state == kTouchFirstAppVisible;
}

bool IsIdleMode(const KsExecution::ProbeServices& services)
{
    if (IsConnectedStandby(nullptr, services))
        return true;
    Keelwork::unique_handle mutex = services.namedObjects.openMutex(SYNCHRONIZE, KsExecution::names::kIdleMutex);
    if (mutex) {
        KSLOG_NORMAL(L"IsIdleMode is called, idle");
        return true;
    }
    KSLOG_NORMAL(L"IsIdleMode is called, not idle");
    return false;
}

bool IsFullScreen(const KsExecution::ProbeServices& services)
{
    if (IsConnectedStandby(nullptr, services)) {
        KSLOG_NORMAL(L"_IsFullScreen: CS mode is on, so return FALSE");
        return false;
    }
    std::wstring reply;
    return services.bus.ask(KsExecution::names::kNotificationStateRequest,
                            KsExecution::names::kNotificationStateTimeoutMs, reply) &&
           reply == KsExecution::names::kFullScreenAppRunning;
}
