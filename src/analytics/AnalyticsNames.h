// Dimension names and fixed values of analytics events, spelled once.
#pragma once

namespace Tessel::Analytics::names {

inline constexpr wchar_t kUniqueIdentifier[] = L"UniqueIdentifier";
inline constexpr wchar_t kCategory[] = L"Event.Category";
inline constexpr wchar_t kAction[] = L"Event.Action";
inline constexpr wchar_t kLabel[] = L"Event.Label";
inline constexpr wchar_t kValue[] = L"Event.Value";
inline constexpr wchar_t kSubCategory[] = L"Sub.Category";
inline constexpr wchar_t kHitResult[] = L"Hit.Result";
inline constexpr wchar_t kHitLabel1[] = L"Hit.Label.1";
inline constexpr wchar_t kHitLabel2[] = L"Hit.Label.2";
inline constexpr wchar_t kTrackApiVersion[] = L"__track.api.version";
inline constexpr wchar_t kTrackerType[] = L"Tracker.Type";
inline constexpr wchar_t kRecordCreated[] = L"__record.created";
inline constexpr wchar_t kRecordCreatedRaw[] = L"__record.created.raw";
inline constexpr wchar_t kRecordCreatedSeconds[] = L"__record.created.seconds";
inline constexpr wchar_t kCallerName[] = L"__caller.name";
inline constexpr wchar_t kTransportName[] = L"__transport.name";

inline constexpr wchar_t kPrivatePrefix[] = L"__";
inline constexpr wchar_t kApiVersion[] = L"1.2.0";
inline constexpr wchar_t kEventTrackerType[] = L"event";

// What task execution reports.
inline constexpr wchar_t kCategoryOrbis[] = L"Orbis";
inline constexpr wchar_t kSubCategoryTaskScheduler[] = L"TaskScheduler";
inline constexpr wchar_t kEventTaskLaunch[] = L"TaskScheduler.Task.Launch";
inline constexpr wchar_t kEventTaskDeferred[] = L"TaskScheduler.Task.Deferred";
inline constexpr wchar_t kEventTaskExecuted[] = L"TaskScheduler.Task.Executed";
inline constexpr wchar_t kEventUpdateFirst[] = L"TaskScheduler.Update.First";
inline constexpr wchar_t kActionTaskLaunch[] = L"TaskScheduler wants to execute an task";
inline constexpr wchar_t kActionTaskDeferred[] = L"TaskScheduler deferred an task";
inline constexpr wchar_t kActionTaskExecuted[] = L"TaskScheduler executed an task";
inline constexpr wchar_t kActionUpdateFirst[] = L"First update triggered from Task Scheduler";

} // namespace Tessel::Analytics::names
