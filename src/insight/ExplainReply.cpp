// The Explain reply: the verdict and its sentence, then what it rests on: the next run or the
// occasion count, the engine, the hold, the last launch and deferral, and the module's answer to
// "what if it were due now".
#include "insight/InsightNames.h"
#include "insight/InsightReplies.h"
#include "insight/ReplyWriting.h"
#include "insight/Verdict.h"

#include "common/TimeText.h"
#include "execution/DeferralCodes.h"
#include "store/KsTaskInfo.h"
#include "store/TaskHistory.h"
#include "store/TaskName.h"

namespace KsInsight {
namespace {

using Tessel::JSONFormatter;

void setSinceUntil(JSONFormatter& object, uint32_t since, uint32_t until)
{
    // 0 is "not known" or "open-ended": no local text is written beside it.
    object.setUInt(names::kSince, since);
    if (since != 0)
        object.setString(names::kSinceLocal, Keelwork::isoLocalTimeText(since));
    object.setUInt(names::kUntil, until);
    if (until != 0)
        object.setString(names::kUntilLocal, Keelwork::isoLocalTimeText(until));
}

void writeSchedule(JSONFormatter& reply, const TaskPicture& picture)
{
    if (isTimed(picture.type)) {
        setTime(reply, names::kNextRun, names::kNextRunLocal, picture.nextRun);
    } else if (isOccasion(picture.type)) {
        setOccasion(reply, picture);
    }
}

void writeState(JSONFormatter& reply, const KsState::EngineState& engine, const KsState::TaskState& task)
{
    JSONFormatter object;
    object.setString(names::kPhase, KsState::phaseWord(engine.phase));
    object.setString(names::kReason, KsState::reasonWord(engine.reason));
    setSinceUntil(object, engine.since, engine.until);
    reply.setObject(names::kEngine, object);
    if (task.hold.reason != KsState::HoldReason::none) {
        JSONFormatter hold;
        hold.setString(names::kReason, KsState::holdWord(task.hold.reason));
        setSinceUntil(hold, task.hold.since, task.hold.until);
        reply.setObject(names::kHold, hold);
    }
}

void writeOutcomes(JSONFormatter& reply, const KsState::TaskState& task)
{
    if (const auto& launch = task.lastLaunch) {
        JSONFormatter object;
        setTime(object, names::kTime, names::kTimeLocal, launch->time);
        object.setUInt(names::kResult, launch->result);
        if (launch->exitCode)
            object.setUInt(names::kExitCode, *launch->exitCode);
        object.setUInt(names::kDurationMs, launch->durationMs);
        reply.setObject(names::kLastLaunch, object);
    }
    if (const auto& deferral = task.lastDeferral) {
        JSONFormatter object;
        setTime(object, names::kTime, names::kTimeLocal, deferral->time);
        object.setString(names::kReason, KsExecution::deferralReasonWord(
                                             static_cast<KsExecution::DeferralCode>(deferral->code)));
        object.setUInt(names::kCode, deferral->code);
        object.setUInt(names::kDelay, deferral->delay);
        object.setUInt(names::kErrorCode, deferral->error);
        reply.setObject(names::kLastDeferral, object);
    }
}

void writeIfDueNow(JSONFormatter& reply, const IfDueNow& answer)
{
    JSONFormatter object;
    object.setString(names::kDecision, answer.run ? names::kRun : names::kDefer);
    if (!answer.run) {
        object.setString(names::kReason, answer.reason);
        if (answer.code)
            object.setUInt(names::kCode, *answer.code);
        object.setUInt(names::kDelay, answer.delay);
    }
    reply.setObject(names::kIfDueNow, object);
}

std::wstring buildExplainReply(const ExplainRequest& request, const StateSource& source, uint32_t now,
                               const std::optional<IfDueNow>& ifDueNow)
{
    const std::optional<TaskPicture> picture = readTaskPicture(request.name);
    if (!picture)
        return unknownTaskReply(names::kExplainRequest, request.name);
    auto [engine, task] = source.read(KsStore::normalizeTaskName(request.name.c_str()));
    // The board forgets with the engine; the history keeps them across a module restart.
    if (!task.lastLaunch || !task.lastDeferral)
        completeFromHistory(task, KsStore::TaskHistory::read(request.name.c_str()).entries);
    const Explanation explanation = explainTask(engine, task, *picture, now);

    JSONFormatter reply;
    openReply(reply, request.name, true);
    reply.setString(names::kVerdict, verdictWord(explanation.verdict));
    reply.setString(names::kWhy, explanation.why);
    writeSchedule(reply, *picture);
    writeState(reply, engine, task);
    writeOutcomes(reply, task);
    if (ifDueNow)
        writeIfDueNow(reply, *ifDueNow);
    return reply.serialize();
}

} // namespace

std::wstring explainReply(const ExplainRequest& request, const StateSource& source, uint32_t now,
                          const std::optional<IfDueNow>& ifDueNow)
{
    return guardReply(names::kExplainRequest,
                      [&] { return buildExplainReply(request, source, now, ifDueNow); });
}

std::wstring explainReply(const std::wstring& payload, const StateSource& source, uint32_t now)
{
    return guardReply(names::kExplainRequest, [&] {
        Parsed<ExplainRequest> parsed = parseExplainRequest(payload);
        if (auto* error = std::get_if<RequestError>(&parsed))
            return errorReply(names::kExplainRequest, *error);
        return buildExplainReply(std::get<ExplainRequest>(parsed), source, now, std::nullopt);
    });
}

} // namespace KsInsight
