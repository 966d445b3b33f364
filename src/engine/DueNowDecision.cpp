// The engine's decision for a task due now, in the order the engine makes it: connected standby
// stops everything, then the pump holds the head task for an idle user and for a full-screen
// application, then the launch checks and validates.
#include "engine/DueNowDecision.h"

#include "common/Clock.h"
#include "engine/RunningEngine.h"
#include "engine/TaskManager.h"
#include "execution/DeferralCodes.h"
#include "execution/SingleTask.h"
#include "platform/PlatformProbes.h"
#include "state/EngineState.h"
#include "store/TaskName.h"

namespace Keelwork::engine {
namespace {

DueNowAnswer deferred(const wchar_t* reason, uint32_t delay, std::optional<uint32_t> code = std::nullopt)
{
    return DueNowAnswer{false, reason, code, delay};
}

bool isTimed(DWORD type)
{
    return type == KS_TASK_SCHEDULED || type == KS_TASK_CUSTOM || type == KS_TASK_PRESET;
}

} // namespace

std::optional<DueNowAnswer> decideIfDueNow(const std::wstring& name, const KsPlatform::ProbeServices& probes,
                                           const SchedulerSettings& settings)
{
    CSingleTask task(name.c_str());
    if (!task.Read())
        return std::nullopt;
    if (IsConnectedStandby(nullptr, probes))
        return deferred(KsState::phaseWord(KsState::EnginePhase::connectedStandby), 0);

    const uint32_t now = Clock::current().now();
    const bool longOverdue = isTimed(task.dwTaskType) && task.dwNextRun <= now && isLongOverdue(task, now);
    if (taskWaitsForIdle(KsStore::TaskIdentity(name).key(), task, longOverdue) && !IsIdleMode(probes))
        return deferred(KsState::holdWord(KsState::HoldReason::idle), settings.idleModePoll);
    if (IsFullScreen(probes))
        return deferred(KsState::holdWord(KsState::HoldReason::fullScreen), settings.fullScreenPoll);

    if (const std::optional<LaunchReport::Deferral> deferral = task.WouldDefer(probes)) {
        const auto code = static_cast<KsExecution::DeferralCode>(deferral->code);
        return deferred(KsExecution::deferralReasonWord(code), deferral->delay, deferral->code);
    }
    return DueNowAnswer{};
}

SchedulerSettings runningEngineSettings()
{
    SchedulerSettings settings;
    withRunningEngine([&](EngineTarget& engine) { settings = engine.settings(); });
    return settings;
}

} // namespace Keelwork::engine
