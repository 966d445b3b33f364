// Names of objects, values and messages of other suite components that the platform consults.
#pragma once

namespace KsPlatform::names {

inline constexpr wchar_t kConnectedStandbyRequest[] = L"SystemMonitor.ConnectedStandby.Status.Request";
inline constexpr wchar_t kConnectedStandbyOn[] = L"SystemMonitor.ConnectedStandby.On";
inline constexpr wchar_t kConnectedStandbyOff[] = L"SystemMonitor.ConnectedStandby.Off";
inline constexpr unsigned kConnectedStandbyTimeoutMs = 5000;
inline constexpr wchar_t kNotificationStateRequest[] = L"SessionMonitor.Get.NotificationState";
inline constexpr wchar_t kFullScreenAppRunning[] = L"SessionMonitor.NotificationState.FullScreenAppRunning";
inline constexpr wchar_t kNotificationStateNormal[] = L"SessionMonitor.NotificationState.Normal";
inline constexpr unsigned kNotificationStateTimeoutMs = 15000;

inline constexpr wchar_t kIdleMutex[] = L"Global\\{B72FC4DF-1F8A-41B1-B17E-9E317681E08B}";
inline constexpr wchar_t kUpdateEventPrefix[] = L"Global\\{834C46D9-6762-4FF9-8279-2C04C8B1162C}";
inline constexpr wchar_t kUpdateManagerKey[] = L"SOFTWARE\\Kestrel\\UPDMGR";
inline constexpr wchar_t kUpdatePhaseValue[] = L"phase";
inline constexpr wchar_t kFactoryModeEvent[] = L"Global\\ZARN_{81E5C0DA-590C-4b72-BE59-10DEE280D94C}";
inline constexpr wchar_t kOemKey[] = L"SOFTWARE\\Kestrel\\ZARN\\Oem";
inline constexpr wchar_t kFactoryModeValue[] = L"facmode";
// Under the OEM key: the factory set-up's progress and the one-shot out-of-box start.
inline constexpr wchar_t kOobeDoneValue[] = L"OOBEDone";
inline constexpr wchar_t kOobeModeValue[] = L"oobemode";

// The installer, while it installs the product; the product's install time stamp.
inline constexpr wchar_t kInstallerKey[] = L"SOFTWARE\\KestrelInstaller";
inline constexpr wchar_t kInstallMediaValue[] = L"installmedia";
inline constexpr wchar_t kProductKey[] = L"SOFTWARE\\Kestrel\\ZARN";
inline constexpr wchar_t kInstallTimeStampValue[] = L"InstallTStmp";

// One value per trusted program file, named by the lower-case hexadecimal SHA-256 of its contents.
inline constexpr wchar_t kTrustedFilesKey[] = L"SOFTWARE\\Kestrel\\Platform\\TrustedFiles";

inline constexpr wchar_t kVolatileKey[] = L"SOFTWARE\\Kestrel\\Volatile";
inline constexpr wchar_t kRebootFlagKey[] = L"RebootFlag";
inline constexpr wchar_t kVolatileZarnKey[] = L"SOFTWARE\\Kestrel\\Volatile\\ZARN";
inline constexpr wchar_t kOldRestartKey[] = L"SOFTWARE\\Kestrel\\ZARN\\Update";
inline constexpr wchar_t kRestartPendingValue[] = L"IsRestartPending";

} // namespace KsPlatform::names
