// The reply texts of the Explain, History and Preview requests, built by the JSON writer: the
// first member is "name" (the task name as given, when the request had one), then "status". A
// request that cannot be answered (not JSON, a member of the wrong type, an unknown task) gives
// "status": false with an "error" sentence and a Warning line; nothing is written anywhere.
// None of these throws.
#pragma once

#include "insight/InsightRequest.h"
#include "insight/StateSource.h"

#include <cstdint>
#include <optional>
#include <string>

namespace KsInsight {

// Whether the task would run if it were due now, as the module worked it out.
struct IfDueNow {
    bool run = false;
    std::wstring reason;            // "defer" only
    std::optional<uint32_t> code;   // "defer" only, when the deferral has a code
    uint32_t delay = 0;             // "defer" only: seconds until the engine would look again
};

// `requestName` is the request the error answers; it appears in the Warning line.
std::wstring errorReply(const wchar_t* requestName, const RequestError& error);

// `ifDueNow` is written only when given (the module gives it when the request asks for it).
std::wstring explainReply(const ExplainRequest& request, const StateSource& source, uint32_t now,
                          const std::optional<IfDueNow>& ifDueNow = std::nullopt);
std::wstring explainReply(const std::wstring& payload, const StateSource& source, uint32_t now);

std::wstring historyReply(const HistoryRequest& request);
std::wstring historyReply(const std::wstring& payload);

std::wstring previewReply(const PreviewRequest& request, uint32_t now);
std::wstring previewReply(const std::wstring& payload, uint32_t now);

} // namespace KsInsight
