// The one decision over the head task, in the pump's order.
#include "engine/HeadTaskDecision.h"

#include "platform/KsUpdateMgr/KsUpdateMgr_Helper.h"
#include "state/EngineState.h"

namespace Keelwork::engine {
namespace {

constexpr DWORD kUpdateInstallingPhase = 3;

// The idle phase (outside an AM run, while the batch's idle wait is not over, for a head task that
// wants an idle user), then the full-screen phase.
std::optional<PumpHold> holdHead(HeadTaskQuestions& questions, const PumpView& view, HeadDecision& decision,
                                 uint32_t now, bool tell)
{
    const PumpPolicy policy(view.settings, questions, tell);
    std::optional<PumpHold> held;
    if (!view.amMode && !decision.after.idlePhaseDone && questions.headWaitsForIdle())
        held = policy.holdForIdle(decision.after, decision.head, [&] { return questions.headWaitsForIdle(); }, now);
    if (!held)
        held = policy.holdForFullScreen(decision.after, decision.head, view.amMode, now);
    return held;
}

} // namespace

HeadDecision decideHeadTask(HeadTaskQuestions& questions, const PumpView& view, uint32_t now, bool tell)
{
    HeadDecision decision;
    decision.after = view.pump;
    // An AM run goes on in connected standby: the module that asked for it wants it done now.
    if (!view.amMode && questions.connectedStandby()) {
        decision.step = HeadStep::connectedStandby;
        return decision;
    }
    if (questions.updatesInstalling()) {
        decision.step = HeadStep::updatesInstalling;
        decision.delay = kUpdatesInstallingWait;
        return decision;
    }
    std::optional<std::wstring> head = questions.headTask();
    if (!head) {
        decision.step = HeadStep::queueEmpty;
        decision.after = view.pump.afterBatch();
        return decision;
    }
    decision.head = std::move(*head);
    if (const std::optional<PumpHold> held = holdHead(questions, view, decision, now, tell)) {
        decision.step = HeadStep::held;
        decision.hold = *held;
        decision.delay = held->lookAgainAt - now;
    }
    return decision;
}

std::wstring headStepReason(const HeadDecision& decision)
{
    switch (decision.step) {
    case HeadStep::connectedStandby: return KsState::phaseWord(KsState::EnginePhase::connectedStandby);
    case HeadStep::updatesInstalling: return L"updates installing";
    case HeadStep::held: return KsState::holdWord(decision.hold.hold.reason);
    default: return L"";
    }
}

bool updatesInstalling(KsPlatform::INamedObjects& namedObjects)
{
    BOOL running = FALSE;
    DWORD phase = 0;
    const HRESULT hr = CKsUpdateMgr_Helper(L"default", namedObjects).IsUpdateRunning2(&running, &phase);
    return SUCCEEDED(hr) && running && phase == kUpdateInstallingPhase;
}

} // namespace Keelwork::engine
