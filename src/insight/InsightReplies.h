// The reply texts of the Explain, History and Preview requests, built by the JSON writer: the
// first member is "name" (the task name as given, when the request had one), then "status". A
// request that cannot be answered (not JSON, a member of the wrong type, an unknown task) gives
// "status": false with an "error" sentence and a Warning line; nothing is written anywhere.
// None of these throws.
#pragma once

#include "insight/InsightRequest.h"
#include "insight/StateSource.h"
#include "state/RunNowRequest.h"

#include <cstdint>
#include <functional>
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

// What became of a run-now request handed on: from the bus or from another process alike.
using RunNowOutcome = KsState::RunNowOutcome;

// Refuses a task that is not stored or is disabled; otherwise `ask` hands the stored task on and
// says what became of it. The bus and kstask both answer through it, so their replies agree.
std::wstring runNowReply(const RunNowRequest& request, const std::function<RunNowOutcome(const std::wstring&)>& ask);
std::wstring runNowReply(const std::wstring& payload, const std::function<RunNowOutcome(const std::wstring&)>& ask);

} // namespace KsInsight
