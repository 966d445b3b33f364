// Names of the per-task change broadcasts: the messages published and the members of their
// payloads.
#pragma once

namespace Orbis::BroadcastNames {

inline constexpr const wchar_t* kSenderAlias = L"TaskScheduler";
inline constexpr const wchar_t* kUpdateMessage = L"TaskScheduler.Task.Update";
// Sent to the module itself for a task that can no longer be read, so the unregistration runs on
// a bus thread and never on the task's own watcher thread.
inline constexpr const wchar_t* kUnregisterMessage = L"TaskScheduler.Task.BroadcastUnRegister";

// Registration replies and the unregister request: the names concerned.
inline constexpr const wchar_t* kName = L"name";

// The update: "tasks", an array of task objects.
inline constexpr const wchar_t* kTasks = L"tasks";
inline constexpr const wchar_t* kType = L"type";
inline constexpr const wchar_t* kCompleteEvent = L"complete_event";
inline constexpr const wchar_t* kDefaultFrequency = L"default_frequency";
inline constexpr const wchar_t* kNextRun = L"next_run";
inline constexpr const wchar_t* kTrigger = L"trigger";
inline constexpr const wchar_t* kParams = L"params";

} // namespace Orbis::BroadcastNames
