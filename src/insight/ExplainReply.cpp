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

void setSinceUntil(ObjectWriter& object, uint32_t since, uint32_t until)
{
    // 0 is "not known" or "open-ended": no local text is written beside it.
    if (since != 0)
        object.time(names::kSince, names::kSinceLocal, since);
    else
        object.number(names::kSince, since);
    if (until != 0)
        object.time(names::kUntil, names::kUntilLocal, until);
    else
        object.number(names::kUntil, until);
}

void writeSchedule(JSONFormatter& reply, const TaskPicture& picture)
{
    if (isTimed(picture.type)) {
        reply.setUInt(names::kNextRun, picture.nextRun);
        reply.setString(names::kNextRunLocal, Keelwork::isoLocalTimeText(picture.nextRun));
    } else if (isOccasion(picture.type)) {
        setOccasion(reply, picture);
    }
}

// Present for every task, so a reader never has to tell "unset" from "not told".
void writeLane(JSONFormatter& reply, const TaskPicture& picture)
{
    ObjectWriter object(reply);
    object.number(names::kMaxRunTime, picture.maxRunTime)
        .flag(names::kBackground, picture.background)
        .number(names::kSpread, picture.spread);
    reply.setValue(names::kLane, object.value());
}

void writeState(JSONFormatter& reply, const KsState::EngineState& engine, const KsState::TaskState& task)
{
    ObjectWriter object(reply);
    object.text(names::kPhase, KsState::phaseWord(engine.phase)).text(names::kReason, KsState::reasonWord(engine.reason));
    setSinceUntil(object, engine.since, engine.until);
    reply.setValue(names::kEngine, object.value());
    if (task.hold.reason != KsState::HoldReason::none) {
        ObjectWriter hold(reply);
        hold.text(names::kReason, KsState::holdWord(task.hold.reason));
        setSinceUntil(hold, task.hold.since, task.hold.until);
        reply.setValue(names::kHold, hold.value());
    }
}

void writeOutcomes(JSONFormatter& reply, const KsState::TaskState& task)
{
    if (const auto& launch = task.lastLaunch) {
        ObjectWriter object(reply);
        object.time(names::kTime, names::kTimeLocal, launch->time).number(names::kResult, launch->result);
        if (launch->exitCode)
            object.number(names::kExitCode, *launch->exitCode);
        object.number(names::kDurationMs, launch->durationMs).usage(launch->cpuMs, launch->peakMemoryBytes);
        reply.setValue(names::kLastLaunch, object.value());
    }
    if (const auto& deferral = task.lastDeferral) {
        ObjectWriter object(reply);
        object.time(names::kTime, names::kTimeLocal, deferral->time)
            .text(names::kReason,
                  KsExecution::deferralReasonWord(static_cast<KsExecution::DeferralCode>(deferral->code)))
            .number(names::kCode, deferral->code)
            .number(names::kDelay, deferral->delay)
            .number(names::kErrorCode, deferral->error);
        reply.setValue(names::kLastDeferral, object.value());
    }
}

void writeIfDueNow(JSONFormatter& reply, const IfDueNow& answer)
{
    ObjectWriter object(reply);
    object.text(names::kDecision, answer.run ? names::kRun : names::kDefer);
    if (!answer.run) {
        object.text(names::kReason, answer.reason);
        if (answer.code)
            object.number(names::kCode, *answer.code);
        object.number(names::kDelay, answer.delay);
    }
    reply.setValue(names::kIfDueNow, object.value());
}

std::wstring buildExplainReply(const ExplainRequest& request, const StateSource& source, uint32_t now,
                               const std::optional<IfDueNow>& ifDueNow)
{
    Keelwork::ReadStatus status;
    const std::optional<TaskPicture> picture = readTaskPicture(request.name, status);
    if (!picture)
        return unreadTaskReply(names::kExplainRequest, request.name, status);
    auto [engine, task] = source.read(KsStore::TaskIdentity(request.name).key());
    // The board forgets with the engine; the history keeps them across a module restart.
    if (!task.lastLaunch || !task.lastDeferral) {
        const KsStore::HistoryRead history = KsStore::TaskHistory::read(request.name.c_str());
        if (history.status.denied())
            return unreadableReply(names::kExplainRequest, request.name, L"history", history.status.error);
        completeFromHistory(task, history.entries);
    }
    const Explanation explanation = explainTask(engine, task, *picture, now);

    JSONFormatter reply;
    openReply(reply, request.name, true);
    reply.setString(names::kVerdict, verdictWord(explanation.verdict));
    reply.setString(names::kWhy, explanation.why);
    writeSchedule(reply, *picture);
    writeLane(reply, *picture);
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
