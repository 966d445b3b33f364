// The engine's decision for a task due now: the head task's decision with the task at the head,
// then, where that decision launches, what the launch's own checks and validation would say.
#include "engine/DueNowDecision.h"

#include "common/Clock.h"
#include "engine/RunningEngine.h"
#include "engine/TaskManager.h"
#include "execution/DeferralCodes.h"
#include "execution/SingleTask.h"
#include "platform/PlatformProbes.h"
#include "store/TaskName.h"

namespace Keelwork::engine {
namespace {

// The decision's questions, answered by the probes given and the stored task standing at the head.
class DueNowQuestions final : public HeadTaskQuestions {
public:
    DueNowQuestions(const std::wstring& name, const CSingleTask& task, const KsPlatform::ProbeServices& probes)
        : m_name(name), m_probes(probes)
    {
        const uint32_t now = Clock::current().now();
        const bool longOverdue = isTimed(task.dwTaskType) && task.dwNextRun <= now && isLongOverdue(task, now);
        m_waitsForIdle = taskWaitsForIdle(KsStore::TaskIdentity(name).key(), task, longOverdue);
    }
    bool connectedStandby() override { return IsConnectedStandby(nullptr, m_probes); }
    bool updatesInstalling() override { return engine::updatesInstalling(m_probes.namedObjects); }
    std::optional<std::wstring> headTask() override { return m_name; }
    bool headWaitsForIdle() override { return m_waitsForIdle; }
    bool idle() override { return IsIdleMode(m_probes); }
    bool fullScreen() override { return IsFullScreen(m_probes); }

private:
    const std::wstring& m_name;
    const KsPlatform::ProbeServices& m_probes;
    bool m_waitsForIdle = false;
};

} // namespace

std::optional<DueNowAnswer> decideIfDueNow(const std::wstring& name, const KsPlatform::ProbeServices& probes,
                                           const PumpView& view)
{
    CSingleTask task(name.c_str());
    if (!task.Read())
        return std::nullopt;
    DueNowQuestions questions(name, task, probes);
    const HeadDecision decision = decideHeadTask(questions, view, Clock::current().now(), false);
    if (decision.step != HeadStep::launch)
        return DueNowAnswer{false, headStepReason(decision), std::nullopt, decision.delay};
    if (const std::optional<LaunchReport::Deferral> deferral = task.WouldDefer(probes)) {
        const auto code = static_cast<KsExecution::DeferralCode>(deferral->code);
        return DueNowAnswer{false, KsExecution::deferralReasonWord(code), deferral->code, deferral->delay};
    }
    return DueNowAnswer{};
}

PumpView runningEngineView()
{
    PumpView view;
    withRunningEngine([&](EngineTarget& engine) { view = engine.decisionView(); });
    return view;
}

} // namespace Keelwork::engine
