// The names of the requests that ask the scheduler about a task, their replies, and the members
// and words those replies are written in; each spelled once.
#pragma once

namespace KsInsight::names {

inline constexpr const wchar_t* kExplainRequest = L"TaskScheduler.Task.Explain";
inline constexpr const wchar_t* kHistoryRequest = L"TaskScheduler.Task.History";
inline constexpr const wchar_t* kPreviewRequest = L"TaskScheduler.Task.Preview";
inline constexpr const wchar_t* kRunNowRequest = L"TaskScheduler.Task.RunNow";
inline constexpr const wchar_t* kResponseSuffix = L".Response";
inline constexpr const wchar_t* kExplainResponse = L"TaskScheduler.Task.Explain.Response";
inline constexpr const wchar_t* kHistoryResponse = L"TaskScheduler.Task.History.Response";
inline constexpr const wchar_t* kPreviewResponse = L"TaskScheduler.Task.Preview.Response";
inline constexpr const wchar_t* kRunNowResponse = L"TaskScheduler.Task.RunNow.Response";

// Request members.
inline constexpr const wchar_t* kName = L"name";
inline constexpr const wchar_t* kCount = L"count";
inline constexpr const wchar_t* kIfDueNow = L"ifDueNow";
inline constexpr const wchar_t* kAssume = L"assume";
inline constexpr const wchar_t* kBattery = L"battery";
inline constexpr const wchar_t* kMetered = L"metered";
inline constexpr const wchar_t* kFullScreen = L"fullScreen";
inline constexpr const wchar_t* kConnectedStandby = L"connectedStandby";
inline constexpr const wchar_t* kUserIdle = L"userIdle";
inline constexpr const wchar_t* kDefaultFreq = L"defaultFreq";
inline constexpr const wchar_t* kCalendarMembers[] = {L"interval", L"daysOfWeek", L"hour", L"minute"};

// Reply members.
inline constexpr const wchar_t* kStatus = L"status";
inline constexpr const wchar_t* kError = L"error";
inline constexpr const wchar_t* kVerdict = L"verdict";
inline constexpr const wchar_t* kWhy = L"why";
inline constexpr const wchar_t* kNextRun = L"nextRun";
inline constexpr const wchar_t* kNextRunLocal = L"nextRunLocal";
inline constexpr const wchar_t* kOccasion = L"occasion";
inline constexpr const wchar_t* kKind = L"kind";
inline constexpr const wchar_t* kEvery = L"every";
inline constexpr const wchar_t* kSeen = L"seen";
inline constexpr const wchar_t* kEngine = L"engine";
inline constexpr const wchar_t* kPhase = L"phase";
inline constexpr const wchar_t* kReason = L"reason";
inline constexpr const wchar_t* kSince = L"since";
inline constexpr const wchar_t* kSinceLocal = L"sinceLocal";
inline constexpr const wchar_t* kUntil = L"until";
inline constexpr const wchar_t* kUntilLocal = L"untilLocal";
inline constexpr const wchar_t* kHold = L"hold";
inline constexpr const wchar_t* kLastLaunch = L"lastLaunch";
inline constexpr const wchar_t* kLastDeferral = L"lastDeferral";
inline constexpr const wchar_t* kLane = L"lane";
inline constexpr const wchar_t* kMaxRunTime = L"maxRunTime";
inline constexpr const wchar_t* kBackground = L"background";
inline constexpr const wchar_t* kSpread = L"spread";
inline constexpr const wchar_t* kTime = L"time";
inline constexpr const wchar_t* kTimeLocal = L"timeLocal";
inline constexpr const wchar_t* kResult = L"result";
inline constexpr const wchar_t* kExitCode = L"exitCode";
inline constexpr const wchar_t* kDurationMs = L"durationMs";
inline constexpr const wchar_t* kCpuMs = L"cpuMs";
inline constexpr const wchar_t* kPeakMemoryBytes = L"peakMemoryBytes";
inline constexpr const wchar_t* kCode = L"code";
inline constexpr const wchar_t* kDelay = L"delay";
inline constexpr const wchar_t* kErrorCode = L"errorCode";
inline constexpr const wchar_t* kDecision = L"decision";
inline constexpr const wchar_t* kEntries = L"entries";
inline constexpr const wchar_t* kEvent = L"event";
inline constexpr const wchar_t* kRuns = L"runs";
inline constexpr const wchar_t* kLocal = L"local";
inline constexpr const wchar_t* kNote = L"note";

// Words.
inline constexpr const wchar_t* kRun = L"run";
inline constexpr const wchar_t* kDefer = L"defer";
inline constexpr const wchar_t* kLogon = L"logon";
inline constexpr const wchar_t* kBoot = L"boot";
inline constexpr const wchar_t* kLaunched = L"launched";
inline constexpr const wchar_t* kDeferred = L"deferred";
inline constexpr const wchar_t* kRefused = L"refused";
inline constexpr const wchar_t* kFailed = L"failed";
inline constexpr const wchar_t* kStopped = L"stopped";

} // namespace KsInsight::names
