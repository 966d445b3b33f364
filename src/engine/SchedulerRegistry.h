// Registry locations and value names the engine reads and writes, all under HKEY_LOCAL_MACHINE.
#pragma once

#include "store/KsTaskInfo.h"

namespace Keelwork::engine {

// The scheduler's own key (the parent of the task keys, named by the store) and its plain values.
inline constexpr const wchar_t* kSchedulerKey = KsStore::kSchedulerKeyPath;
inline constexpr const wchar_t* kIdleWaitValue = L"idle_wait";
inline constexpr const wchar_t* kTaskFinishWaitValue = L"taskfinishwait";
inline constexpr const wchar_t* kDisabledInRetailModeTasksValue = L"DisabledInRetailModeTasks";

// Override keys looked up through the settings hives.
inline constexpr const wchar_t* kSettingsOverrideKey = L"taskscheduler";
inline constexpr const wchar_t* kTaskOobeWaitOverrideKey = L"taskscheduler_oobe_wait";
inline constexpr const wchar_t* kWaitForIdleMasterValue = L"wait_for_idle_master";
inline constexpr const wchar_t* kFullScreenWaitValue = L"fullscreen_wait";
inline constexpr const wchar_t* kFullScreenPollValue = L"fullscreen_poll";
inline constexpr const wchar_t* kIdleModePollValue = L"idlemode_poll";
inline constexpr const wchar_t* kIdleModeTimeoutValue = L"idlemode_timeout";
inline constexpr const wchar_t* kAfterSuspendWaitValue = L"aftersuspend_wait";
inline constexpr const wchar_t* kEnableAmTaskValue = L"enable_am_task";
inline constexpr const wchar_t* kFutureTaskWindowValue = L"future_task_window";
inline constexpr const wchar_t* kWinRestartWaitValue = L"winrestart_wait";
inline constexpr const wchar_t* kOobeWaitValue = L"oobe_wait";

// Other components of the suite.
inline constexpr const wchar_t* kInstallerKey = L"SOFTWARE\\KestrelInstaller";
inline constexpr const wchar_t* kInstallMediaValue = L"installmedia";
inline constexpr const wchar_t* kProductKey = L"SOFTWARE\\Kestrel\\ZARN";
inline constexpr const wchar_t* kInstallTimeStampValue = L"InstallTStmp";
// Under the OEM key: the factory set-up's progress and the one-shot out-of-box start.
inline constexpr const wchar_t* kOobeDoneValue = L"OOBEDone";
inline constexpr const wchar_t* kOobeModeValue = L"oobemode";

} // namespace Keelwork::engine
