// The names a task's run is reported under (by the engine and by the launch), the members of those
// reports, and the tasks execution treats specially; each spelled once.
#pragma once

namespace KsExecution::names {

inline constexpr wchar_t kSenderAlias[] = L"TaskScheduler";
// Each is followed by a full stop and the task's name.
inline constexpr wchar_t kLaunchAttemptTopic[] = L"TaskScheduler.Task.LaunchAttempt";
inline constexpr wchar_t kCompletedTopic[] = L"TaskScheduler.Task.Completed";
inline constexpr wchar_t kDeferredTopic[] = L"TaskScheduler.Task.Deferred";

// Members of the reports' JSON payloads.
inline constexpr wchar_t kNameMember[] = L"name";
inline constexpr wchar_t kReasonMember[] = L"reason";
inline constexpr wchar_t kErrorCodeMember[] = L"errorCode";
inline constexpr wchar_t kDeferredCodeMember[] = L"DeferredCode";
inline constexpr wchar_t kDeltaTimeMember[] = L"DeltaTime";

// Compared without regard to case.
inline constexpr wchar_t kUpdateTask[] = L"ksupdtsk";
inline constexpr wchar_t kOnDemandScanTask[] = L"qsv_odsscheduledtask";
inline constexpr wchar_t kLogCompactionTask[] = L"zarn_logcompact";
inline constexpr wchar_t kOnDemandScanProgram[] = L"ksods.exe";
inline constexpr wchar_t kOnDemandScanClsid[] = L"{D905F5A4-15B0-4B47-99D8-CE0230557148}";

// The settings override key a task's tuning values are read from.
inline constexpr wchar_t kTaskSettingsKey[] = L"taskscheduler";

} // namespace KsExecution::names
