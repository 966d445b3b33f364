// Probes of the user's session: connected standby and full-screen state asked over the bus, the
// touch-first app state, and the idle detector's mutex.
#include "platform/PlatformProbes.h"

#include "common/ComPtr.h"
#include "platform/PlatformNames.h"
#include "logging/internal_logging.h"

namespace {
constexpr int kTouchFirstAppVisible = 2;
constexpr int kLauncherVisible = 3;
}

bool IsConnectedStandby(BOOL* pbOnBattery, const KsPlatform::ProbeServices& services)
{
    if (pbOnBattery != nullptr) {
        SYSTEM_POWER_STATUS status = {};
        *pbOnBattery = services.power.query(status) && status.ACLineStatus == 0 ? TRUE : FALSE;
    }
    std::wstring reply;
    return services.bus.ask(KsPlatform::names::kConnectedStandbyRequest, KsPlatform::names::kConnectedStandbyTimeoutMs,
                            reply) &&
           reply == KsPlatform::names::kConnectedStandbyOn;
}

bool TaskSchedIsMetroMode(const KsPlatform::ProbeServices& services)
{
    if (IsConnectedStandby(nullptr, services)) {
        KSLOG_NORMAL(L"_IsMetroMode: CS mode is on, so return FALSE");
        return false;
    }
    int state = 0;
    {
        Keelwork::ComInitialization com;
        KsPlatform::IAppVisibilityService& visibility = services.appVisibility;
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

bool IsIdleMode(const KsPlatform::ProbeServices& services)
{
    if (IsConnectedStandby(nullptr, services))
        return true;
    Keelwork::unique_handle mutex = services.namedObjects.openMutex(SYNCHRONIZE, KsPlatform::names::kIdleMutex);
    if (mutex) {
        KSLOG_NORMAL(L"IsIdleMode is called, idle");
        return true;
    }
    KSLOG_NORMAL(L"IsIdleMode is called, not idle");
    return false;
}

bool IsFullScreen(const KsPlatform::ProbeServices& services)
{
    if (IsConnectedStandby(nullptr, services)) {
        KSLOG_NORMAL(L"_IsFullScreen: CS mode is on, so return FALSE");
        return false;
    }
    std::wstring reply;
    return services.bus.ask(KsPlatform::names::kNotificationStateRequest,
                            KsPlatform::names::kNotificationStateTimeoutMs, reply) &&
           reply == KsPlatform::names::kFullScreenAppRunning;
}
