// The bus messages the scheduler module subscribes to and answers with; each spelled once.
#pragma once

namespace Tessel::ModuleNames {

inline constexpr const wchar_t* kUserLogon = L"SystemMonitor.UserSession.Logon";
inline constexpr const wchar_t* kSetAutoMaintenanceMode = L"Set.Auto.Maintenance.Mode";
inline constexpr const wchar_t* kStopAutoMaintenanceMode = L"Stop.Auto.Maintenance.Mode";

inline constexpr const wchar_t* kTaskModify = L"TaskScheduler.Task.Modify";
inline constexpr const wchar_t* kTaskCreate = L"TaskScheduler.Task.Create";
inline constexpr const wchar_t* kTaskDelete = L"TaskScheduler.Task.Delete";
inline constexpr const wchar_t* kTaskEnable = L"TaskScheduler.Task.Enable";
inline constexpr const wchar_t* kTaskDisable = L"TaskScheduler.Task.Disable";
inline constexpr const wchar_t* kTaskQuery = L"TaskScheduler.Task.Query";
inline constexpr const wchar_t* kTaskBroadcastRegister = L"TaskScheduler.Task.BroadcastRegister";
inline constexpr const wchar_t* kTaskBroadcastUnRegister = L"TaskScheduler.Task.BroadcastUnRegister";
inline constexpr const wchar_t* kTaskGetPresets = L"TaskScheduler.Task.GetPresets";

inline constexpr const wchar_t* kTaskModified = L"TaskScheduler.Task.Modified";
inline constexpr const wchar_t* kTaskCreated = L"TaskScheduler.Task.Created";
inline constexpr const wchar_t* kTaskDeleted = L"TaskScheduler.Task.Deleted";
inline constexpr const wchar_t* kTaskEnabled = L"TaskScheduler.Task.Enabled";
inline constexpr const wchar_t* kTaskDisabled = L"TaskScheduler.Task.Disabled";
inline constexpr const wchar_t* kTaskQueryResponse = L"TaskScheduler.Task.Query.Response";
inline constexpr const wchar_t* kTaskBroadcastRegistered = L"TaskScheduler.Task.BroadcastRegistered";
inline constexpr const wchar_t* kTaskBroadcastUnRegistered = L"TaskScheduler.Task.BroadcastUnRegistered";
inline constexpr const wchar_t* kTaskGetPresetsResponse = L"TaskScheduler.Task.GetPresets.Response";

// Reply members.
inline constexpr const wchar_t* kStatusMember = L"status";
inline constexpr const wchar_t* kNameMember = L"name";
inline constexpr const wchar_t* kErrorMember = L"error";  // only where a request is refused outright

} // namespace Tessel::ModuleNames
