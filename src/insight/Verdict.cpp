// The verdict's precedence and the sentence of each verdict.
#include "insight/Verdict.h"
#include "insight/Sentences.h"

#include "common/TimeText.h"
#include "store/KsTaskInfo.h"

namespace KsInsight {
namespace {

using KsState::EnginePhase;

std::wstring heldSentence(const KsState::TaskHold& hold, uint32_t now)
{
    return L"Held since " + sentenceTime(hold.since, now) + L" because " + holdCause(hold, now) + L".";
}

std::wstring deferredSentence(const KsState::DeferralOutcome& deferral, uint32_t retry, uint32_t now)
{
    return L"Deferred at " + sentenceTime(deferral.time, now) + L" because " + deferralCause(deferral) +
           L"; the engine tries again at " + sentenceTime(retry, now) + L".";
}

std::wstring dueSentence(const KsState::TaskState& task, const TaskPicture& picture, uint32_t now)
{
    if (task.queued)
        return L"It is due and waits in the run queue behind other tasks.";
    if (picture.nextRun == 0)
        return L"It has no next run yet, so it is due and runs when the engine next looks at its tasks.";
    return L"It has been due since " + sentenceTime(picture.nextRun, now) +
           L" and runs when the engine next looks at its tasks.";
}

std::wstring waitingSentence(const TaskPicture& picture, uint32_t now)
{
    if (isTimed(picture.type))
        return L"Its next run is at " + sentenceTime(picture.nextRun, now) + L" and nothing holds it.";
    if (picture.type == KS_TASK_ONCE)
        return L"It is a one-time task, and the engine never starts one by itself: it has no next run.";
    return L"Its type is one the engine never starts by itself: it has no next run.";
}

std::wstring runningSentence(const KsState::TaskState& task, const TaskPicture& picture, uint32_t now)
{
    if (picture.triggerType == KS_TRIGGER_EVENT)
        return L"It runs now: the engine has signalled its event.";
    if (task.endsAt != 0)
        return L"Its program runs now; it is ended at " + sentenceTime(task.endsAt, now) + L" if it still runs.";
    return L"Its program runs now.";
}

bool engineRunsTasks(EnginePhase phase)
{
    return phase == EnginePhase::running || phase == EnginePhase::autoMaintenance;
}

// The last attempt was deferred (nothing launched since) and its retry time is ahead.
// A deferred task queued again (asked to run now, say) runs at its turn: it is due, not deferred.
bool isDeferred(const KsState::TaskState& task, const TaskPicture& picture, uint32_t now)
{
    return !task.queued && task.lastDeferral && (!task.lastLaunch || task.lastDeferral->time > task.lastLaunch->time) &&
           retryTime(picture) > now;
}

} // namespace

const wchar_t* verdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::waiting: return L"waiting";
    case Verdict::due: return L"due";
    case Verdict::running: return L"running";
    case Verdict::held: return L"held";
    case Verdict::deferred: return L"deferred";
    case Verdict::suspended: return L"suspended";
    case Verdict::disabled: return L"disabled";
    case Verdict::occasion: return L"occasion";
    }
    return L"waiting";
}

uint32_t retryTime(const TaskPicture& picture)
{
    return isOccasion(picture.type) ? picture.logonNextRun : picture.nextRun;
}

std::wstring sentenceTime(uint32_t time, uint32_t now)
{
    const std::wstring text = Keelwork::localTimeText(time);
    constexpr size_t kDateChars = 10;  // "YYYY-MM-DD"
    if (text.size() > kDateChars + 1 && text.compare(0, kDateChars, Keelwork::localTimeText(now), 0, kDateChars) == 0)
        return text.substr(kDateChars + 1);
    return text;
}

Explanation explainTask(const KsState::EngineState& engine, const KsState::TaskState& task,
                        const TaskPicture& picture, uint32_t now)
{
    if (picture.disabled)
        return {Verdict::disabled, L"It is disabled: the engine does not run it until it is enabled again."};
    if (task.running)
        return {Verdict::running, runningSentence(task, picture, now)};
    if (task.endsAt != 0)
        return {Verdict::running, L"Its program still runs, though the engine no longer waits for it; it is ended at " +
                                      sentenceTime(task.endsAt, now) + L" if it still runs."};
    if (!engineRunsTasks(engine.phase))
        return {Verdict::suspended, engineSentence(engine, now)};
    if (task.hold.reason != KsState::HoldReason::none)
        return {Verdict::held, heldSentence(task.hold, now)};
    if (isDeferred(task, picture, now))
        return {Verdict::deferred, deferredSentence(*task.lastDeferral, retryTime(picture), now)};
    if (task.queued || (isTimed(picture.type) && picture.nextRun <= now))
        return {Verdict::due, dueSentence(task, picture, now)};
    if (isOccasion(picture.type))
        return {Verdict::occasion, occasionSentence(picture)};
    return {Verdict::waiting, waitingSentence(picture, now)};
}

} // namespace KsInsight
