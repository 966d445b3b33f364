// The payloads of the Explain, History and Preview requests, parsed into plain structs; a payload
// that cannot be taken gives the short English sentence its error reply carries instead.
#pragma once

#include "store/KsTaskInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace KsInsight {

// What an Explain request asks the module to assume of the machine when it works out whether the
// task would run if it were due now; an absent member means "as the machine is".
struct Assumptions {
    std::optional<bool> battery;
    std::optional<bool> metered;
    std::optional<bool> fullScreen;
    std::optional<bool> connectedStandby;
    std::optional<bool> userIdle;
};

struct ExplainRequest {
    std::wstring name;
    // "ifDueNow": true, or an "assume" object: the module computes the answer and hands it over.
    bool wantsIfDueNow = false;
    Assumptions assume;
};

inline constexpr unsigned kDefaultHistoryCount = 20;
inline constexpr unsigned kDefaultPreviewCount = 5;
inline constexpr unsigned kMostPreviewRuns = 100;

struct HistoryRequest {
    std::wstring name;
    unsigned count = kDefaultHistoryCount;  // more than the history holds gives all of it
};

// The schedule members of a create request, taken by the create request's own codec.
struct PreviewSchedule {
    bool periodic = false;  // "defaultFreq" was given: a periodic task, else a calendar one
    KSTASKINFO_LANE record{};  // the schedule fields only; no strings are set
};

struct PreviewRequest {
    std::wstring name;  // empty when the schedule is given instead
    std::optional<PreviewSchedule> schedule;
    unsigned count = kDefaultPreviewCount;
};

struct RunNowRequest {
    std::wstring name;
};

struct RequestError {
    std::optional<std::wstring> name;  // the task name as given, when the payload had one
    std::wstring sentence;
};

template <typename Request>
using Parsed = std::variant<Request, RequestError>;

Parsed<ExplainRequest> parseExplainRequest(const std::wstring& payload);
Parsed<HistoryRequest> parseHistoryRequest(const std::wstring& payload);
Parsed<PreviewRequest> parsePreviewRequest(const std::wstring& payload);
Parsed<RunNowRequest> parseRunNowRequest(const std::wstring& payload);

} // namespace KsInsight
