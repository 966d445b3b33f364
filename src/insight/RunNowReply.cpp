// The RunNow reply: "status": true once the engine was asked; a task the engine would not find
// (not stored, or disabled) and an engine that does not run are refused with a sentence.
#include "insight/InsightNames.h"
#include "insight/InsightReplies.h"
#include "insight/ReplyWriting.h"
#include "insight/TaskPicture.h"

#include <variant>

namespace KsInsight {
namespace {

constexpr const wchar_t* kDisabled = L"The task is disabled; enable it before asking it to run.";
constexpr const wchar_t* kNoEngine = L"The task scheduler engine is not running; the task was not run.";

std::wstring buildRunNowReply(const RunNowRequest& request, const std::function<RunNowOutcome(const std::wstring&)>& ask)
{
    const std::optional<TaskPicture> picture = readTaskPicture(request.name);
    if (!picture)
        return unknownTaskReply(names::kRunNowRequest, request.name);
    if (picture->disabled)
        return errorReply(names::kRunNowRequest, RequestError{request.name, kDisabled});
    if (ask(request.name) == RunNowOutcome::noEngine)
        return errorReply(names::kRunNowRequest, RequestError{request.name, kNoEngine});
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
