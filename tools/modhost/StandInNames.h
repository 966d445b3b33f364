// Message names of the suite modules the host can stand in for, and the answers it gives.
#pragma once

namespace modhost {

// System monitor: is the machine in connected standby?
inline constexpr const wchar_t* kStandbyRequest = L"SystemMonitor.ConnectedStandby.Status.Request";
inline constexpr const wchar_t* kStandbyOn = L"SystemMonitor.ConnectedStandby.On";
inline constexpr const wchar_t* kStandbyOff = L"SystemMonitor.ConnectedStandby.Off";

// Session monitor: does a full-screen application run?
inline constexpr const wchar_t* kNotificationStateRequest = L"SessionMonitor.Get.NotificationState";
inline constexpr const wchar_t* kNotificationFullScreen = L"SessionMonitor.NotificationState.FullScreenAppRunning";
inline constexpr const wchar_t* kNotificationNormal = L"SessionMonitor.NotificationState.AcceptsNotifications";

// The stand-ins a scenario can switch, and the request each answers.
enum class StandIn { Standby, NotificationState };

inline const wchar_t* standInRequest(StandIn which)
{
    return which == StandIn::Standby ? kStandbyRequest : kNotificationStateRequest;
}

// Installer: the installation has finished.
inline constexpr const wchar_t* kInstallerComplete = L"Core.Installer.Complete";

} // namespace modhost
