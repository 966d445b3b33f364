// Registry locations and value names the engine reads and writes, all under HKEY_LOCAL_MACHINE.
#pragma once

#include "platform/PlatformNames.h"
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

// The suite's other components: their names are the platform's.
using KsPlatform::names::kInstallerKey;
using KsPlatform::names::kInstallMediaValue;
using KsPlatform::names::kOobeDoneValue;
using KsPlatform::names::kOobeModeValue;

} // namespace Keelwork::engine
