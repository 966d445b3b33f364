// The names task execution publishes under and the tasks it treats specially; each spelled once.
#pragma once

namespace KsExecution::names {

inline constexpr wchar_t kSenderAlias[] = L"TaskScheduler";
// Each is followed by a full stop and the task's name.
inline constexpr wchar_t kCompletedTopic[] = L"TaskScheduler.Task.Completed";
inline constexpr wchar_t kDeferredTopic[] = L"TaskScheduler.Task.Deferred";

// Compared without regard to case.
inline constexpr wchar_t kUpdateTask[] = L"ksupdtsk";
inline constexpr wchar_t kOnDemandScanTask[] = L"qsv_odsscheduledtask";
inline constexpr wchar_t kLogCompactionTask[] = L"zarn_logcompact";
inline constexpr wchar_t kOnDemandScanProgram[] = L"ksods.exe";
inline constexpr wchar_t kOnDemandScanClsid[] = L"{D905F5A4-15B0-4B47-99D8-CE0230557148}";

// The settings override key a task's tuning values are read from.
inline constexpr wchar_t kTaskSettingsKey[] = L"taskscheduler";

} // namespace KsExecution::names
