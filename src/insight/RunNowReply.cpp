// The RunNow reply: "status": true once the engine was asked; a task the engine would not find
// (not stored, or disabled), an engine that does not run or does not answer are refused with a
// sentence.
#include "insight/InsightNames.h"
#include "insight/InsightReplies.h"
#include "insight/ReplyWriting.h"
#include "insight/TaskPicture.h"

#include <variant>

namespace KsInsight {
namespace {

constexpr const wchar_t* kDisabled = L"The task is disabled; enable it before asking it to run.";
constexpr const wchar_t* kNoEngine = L"The task scheduler engine is not running; the task was not run.";
// Only kstask's way, through the registry, meets these.
constexpr const wchar_t* kNoAnswer = L"The task scheduler engine did not answer in time; the request was withdrawn.";
constexpr const wchar_t* kNotSignalled =
    L"This user may not signal the task scheduler engine (access denied); the task was not run.";
constexpr const wchar_t* kNotWritten = L"The request could not be written to the registry; the task was not run.";

const wchar_t* refusalOf(RunNowOutcome outcome)
{
    switch (outcome) {
    case RunNowOutcome::asked: return nullptr;
    case RunNowOutcome::noEngine: return kNoEngine;
    case RunNowOutcome::noAnswer: return kNoAnswer;
    default: return kNotWritten;
    }
}

std::wstring buildRunNowReply(const RunNowRequest& request, const std::function<RunNowOutcome(const std::wstring&)>& ask)
{
    Keelwork::ReadStatus status;
    const std::optional<TaskPicture> picture = readTaskPicture(request.name, status);
    if (!picture)
        return unreadTaskReply(names::kRunNowRequest, request.name, status);
    if (picture->disabled)
        return errorReply(names::kRunNowRequest, RequestError{request.name, kDisabled});
    const RunNowOutcome outcome = ask(request.name);
    if (outcome == RunNowOutcome::denied)
        return deniedReply(names::kRunNowRequest, request.name, kNotSignalled, ERROR_ACCESS_DENIED);
    if (const wchar_t* refusal = refusalOf(outcome))
        return errorReply(names::kRunNowRequest, RequestError{request.name, refusal});
    Tessel::JSONFormatter reply;
    openReply(reply, request.name, true);
    return reply.serialize();
}

} // namespace

std::wstring runNowReply(const RunNowRequest& request, const std::function<RunNowOutcome(const std::wstring&)>& ask)
{
    return guardReply(names::kRunNowRequest, [&] { return buildRunNowReply(request, ask); });
}

std::wstring runNowReply(const std::wstring& payload, const std::function<RunNowOutcome(const std::wstring&)>& ask)
{
    Parsed<RunNowRequest> parsed = parseRunNowRequest(payload);
    if (const RequestError* error = std::get_if<RequestError>(&parsed))
        return errorReply(names::kRunNowRequest, *error);
    return runNowReply(std::get<RunNowRequest>(parsed), ask);
}

} // namespace KsInsight
