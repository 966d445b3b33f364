// The cause clauses of the verdict sentences.
#include "insight/Sentences.h"
#include "insight/Verdict.h"

#include "execution/DeferralCodes.h"
#include "store/KsTaskInfo.h"

namespace KsInsight {
namespace {

using KsState::EnginePhase;
using KsState::EngineReason;
using KsState::HoldReason;

const wchar_t* phaseClause(EnginePhase phase)
{
    switch (phase) {
    case EnginePhase::starting: return L"is starting";
    case EnginePhase::startDelay: return L"is waiting out its start delay";
    case EnginePhase::suspended: return L"is suspended";
    case EnginePhase::connectedStandby: return L"is paused while the machine is in connected standby";
    case EnginePhase::stopping: return L"is stopping";
    case EnginePhase::running:
    case EnginePhase::autoMaintenance:
    case EnginePhase::stopped: break;
    }
    return L"is stopped";
}

const wchar_t* reasonClause(EngineReason reason)
{
    switch (reason) {
    case EngineReason::restartPending: return L" because a restart of the machine is pending";
    case EngineReason::safeMode: return L" because the machine started in safe mode";
    case EngineReason::installing: return L" because the product is being installed";
    case EngineReason::oemSetUp: return L" because the manufacturer's set-up has not finished";
    case EngineReason::outOfBoxWait: return L" because the machine is new out of the box";
    case EngineReason::none: break;
    }
    return L"";
}

std::wstring ordinal(uint32_t n)
{
    const uint32_t lastTwo = n % 100, last = n % 10;
    const wchar_t* suffix = (lastTwo >= 11 && lastTwo <= 13) ? L"th"
                            : last == 1                      ? L"st"
                            : last == 2                      ? L"nd"
                            : last == 3                      ? L"rd"
                                                             : L"th";
    return std::to_wstring(n) + suffix;
}

} // namespace

std::wstring engineSentence(const KsState::EngineState& engine, uint32_t now)
{
    std::wstring sentence = L"The engine " + std::wstring(phaseClause(engine.phase)) + reasonClause(engine.reason) +
                            L" and runs no task";
    if (engine.until != 0)
        sentence += L" until " + sentenceTime(engine.until, now);
    else if (engine.reason == EngineReason::restartPending || engine.reason == EngineReason::safeMode)
        sentence += L" until the machine restarts";
    return sentence + L".";
}

std::wstring holdCause(const KsState::TaskHold& hold, uint32_t now)
{
    const std::wstring until = hold.until != 0 ? sentenceTime(hold.until, now) : std::wstring();
    switch (hold.reason) {
    case HoldReason::fullScreen:
        return L"a full-screen application runs" +
               (until.empty() ? std::wstring(L"; it runs once that ends") : L"; it runs at the latest at " + until);
    case HoldReason::idle:
        return L"it waits for the user to be idle" +
               (until.empty() ? std::wstring(L"; it runs once the user is") : L"; it runs at the latest at " + until);
    case HoldReason::outOfBox:
        return L"the machine is in its out-of-box period" +
               (until.empty() ? std::wstring() : L"; it can run from " + until);
    case HoldReason::retailDemo:
        return L"the machine is a retail demo, on which this task does not run";
    case HoldReason::maintenanceExclusion:
        return L"it is kept out of the auto-maintenance run; it runs at its own time";
    case HoldReason::none: break;
    }
    return L"something holds it";
}

std::wstring deferralCause(const KsState::DeferralOutcome& deferral)
{
    using KsExecution::DeferralCode;
    std::wstring cause;
    switch (static_cast<DeferralCode>(deferral.code)) {
    case DeferralCode::battery: return L"the machine ran on battery";
    case DeferralCode::metroMode: return L"the machine was in touch-first mode";
    case DeferralCode::metered: return L"the network connection was metered";
    case DeferralCode::scanModuleMissing: return L"the scanning module was missing";
    case DeferralCode::scanRunning: return L"a scan was running";
    case DeferralCode::updateWhileScanRuns: return L"an update had to wait for a running scan";
    case DeferralCode::logonStartFailed: cause = L"the program could not be started in the user's session"; break;
    case DeferralCode::rebootStartFailed: cause = L"the program could not be started after the machine's start"; break;
    case DeferralCode::startFailed: cause = L"the program could not be started"; break;
    case DeferralCode::validation: cause = L"the program failed its validation"; break;
    case DeferralCode::unknown:
    default: return L"the engine reported deferral code " + std::to_wstring(deferral.code);
    }
    // A refused or failed start says what the system answered.
    return deferral.error != 0 ? cause + L" (error " + std::to_wstring(deferral.error) + L")" : cause;
}

std::wstring occasionSentence(const TaskPicture& picture)
{
    const std::wstring noun = picture.type == KS_TASK_LOGON ? L"logon" : L"machine start";
    const uint32_t every = picture.defaultFreq, seen = picture.nextRun;
    if (every <= 1)
        return L"It runs at every " + noun + L", so it runs at the next one.";
    const uint32_t left = every > seen ? every - seen : 1;
    return L"It runs at every " + ordinal(every) + L" " + noun + L"; " + std::to_wstring(seen) +
           (seen == 1 ? L" has" : L" have") + L" passed since it last ran, so it runs at the " +
           (left == 1 ? L"next " + noun : ordinal(left) + L" " + noun + L" from now") + L".";
}

} // namespace KsInsight
