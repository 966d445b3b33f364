// Every verdict, every reason the engine runs nothing for and every hold, with the exact sentence
// a support engineer reads aloud. Local times are read in a zone without daylight saving (+09:00).
#include "CalendarTestZone.h"

#include "insight/Verdict.h"
#include "store/KsTaskInfo.h"

#include <gtest/gtest.h>

namespace {

using namespace KsInsight;
using namespace KsState;

constexpr uint32_t kNow = 1800000000;  // 2027-01-15 17:00:00 local
constexpr uint32_t kDay = 86400;

struct VerdictCase {
    const char* label;
    EngineState engine;
    TaskState task;
    TaskPicture picture;
    Verdict verdict;
    const wchar_t* why;
};

void PrintTo(const VerdictCase& c, std::ostream* out) { *out << c.label; }

const EngineState kRunning{EnginePhase::running, EngineReason::none, kNow - 600, 0};
const TaskPicture kHourly{false, KS_TASK_SCHEDULED, KS_TRIGGER_PROCESS, kNow + 3600, 3600, 0, {}};
const TaskPicture kLogonEvery3{false, KS_TASK_LOGON, KS_TRIGGER_PROCESS, 1, 3, 0, {}};

TaskPicture with(TaskPicture p, void (*edit)(TaskPicture&)) { return edit(p), p; }
TaskState held(HoldReason reason, uint32_t until) { return TaskState{false, false, {reason, kNow - 120, until}, {}, {}}; }
TaskState deferred(uint32_t code, uint32_t error, std::optional<LaunchOutcome> launch = {})
{
    return TaskState{false, false, {}, launch, DeferralOutcome{kNow - 60, code, 3600, error}};
}
EngineState engine(EnginePhase phase, EngineReason reason, uint32_t until = 0) { return {phase, reason, kNow - 30, until}; }

const VerdictCase kCases[] = {
    {"Disabled", kRunning, {false, true, {}, {}, {}}, with(kHourly, [](TaskPicture& p) { p.disabled = true; }),
     Verdict::disabled, L"It is disabled: the engine does not run it until it is enabled again."},
    {"Running", engine(EnginePhase::suspended, EngineReason::restartPending), {false, true, {}, {}, {}}, kHourly,
     Verdict::running, L"Its program runs now."},
    {"RunningUnderALimit", kRunning, TaskState{false, true, {}, {}, {}, kNow + 75}, kHourly, Verdict::running,
     L"Its program runs now; it is ended at 17:01:15 if it still runs."},
    {"OutlivingItsLaunchUnderALimit", kRunning, TaskState{false, false, {}, {}, {}, kNow + 75}, kHourly,
     Verdict::running,
     L"Its program still runs, though the engine no longer waits for it; it is ended at 17:01:15 if it still runs."},
    {"RunningEvent", kRunning, {false, true, {}, {}, {}},
     with(kHourly, [](TaskPicture& p) { p.triggerType = KS_TRIGGER_EVENT; }), Verdict::running,
     L"It runs now: the engine has signalled its event."},
    {"Stopped", EngineState{}, {}, kHourly, Verdict::suspended, L"The engine is stopped and runs no task."},
    {"StartingForOemSetUp", engine(EnginePhase::starting, EngineReason::oemSetUp), {}, kHourly, Verdict::suspended,
     L"The engine is starting because the manufacturer's set-up has not finished and runs no task."},
    {"StartDelayWhileInstalling", engine(EnginePhase::startDelay, EngineReason::installing, kNow + 300), {}, kHourly,
     Verdict::suspended,
     L"The engine is waiting out its start delay because the product is being installed and runs no task until "
     L"17:05:00."},
    {"StartDelayOutOfBox", engine(EnginePhase::startDelay, EngineReason::outOfBoxWait, kNow + kDay), {}, kHourly,
     Verdict::suspended,
     L"The engine is waiting out its start delay because the machine is new out of the box and runs no task until "
     L"2027-01-16 17:00:00."},
    {"RestartPending", engine(EnginePhase::suspended, EngineReason::restartPending), held(HoldReason::idle, 0), kHourly,
     Verdict::suspended,
     L"The engine is suspended because a restart of the machine is pending and runs no task until the machine "
     L"restarts."},
    {"SafeMode", engine(EnginePhase::suspended, EngineReason::safeMode), {}, kHourly, Verdict::suspended,
     L"The engine is suspended because the machine started in safe mode and runs no task until the machine restarts."},
    {"ConnectedStandby", engine(EnginePhase::connectedStandby, EngineReason::none), {}, kHourly, Verdict::suspended,
     L"The engine is paused while the machine is in connected standby and runs no task."},
    {"Stopping", engine(EnginePhase::stopping, EngineReason::none), {}, kHourly, Verdict::suspended,
     L"The engine is stopping and runs no task."},
    {"HeldFullScreen", kRunning, held(HoldReason::fullScreen, kNow + 1800), kHourly, Verdict::held,
     L"Held since 16:58:00 because a full-screen application runs; it runs at the latest at 17:30:00."},
    {"HeldIdle", kRunning, held(HoldReason::idle, kNow + 7080), kHourly, Verdict::held,
     L"Held since 16:58:00 because it waits for the user to be idle; it runs at the latest at 18:58:00."},
    {"HeldOutOfBox", kRunning, held(HoldReason::outOfBox, kNow + 480), kHourly, Verdict::held,
     L"Held since 16:58:00 because the machine is in its out-of-box period; it can run from 17:08:00."},
    {"HeldRetailDemo", kRunning, held(HoldReason::retailDemo, 0), kHourly, Verdict::held,
     L"Held since 16:58:00 because the machine is a retail demo, on which this task does not run."},
    {"HeldOutOfMaintenanceRun", engine(EnginePhase::autoMaintenance, EngineReason::none),
     held(HoldReason::maintenanceExclusion, 0), kHourly, Verdict::held,
     L"Held since 16:58:00 because it is kept out of the auto-maintenance run; it runs at its own time."},
    {"DeferredOnBattery", kRunning, deferred(0, 0), kHourly, Verdict::deferred,
     L"Deferred at 16:59:00 because the machine ran on battery; the engine tries again at 18:00:00."},
    {"DeferredMetered", kRunning, deferred(2, 0), kHourly, Verdict::deferred,
     L"Deferred at 16:59:00 because the network connection was metered; the engine tries again at 18:00:00."},
    {"RefusedProgram", kRunning, deferred(10, 5), kHourly, Verdict::deferred,
     L"Deferred at 16:59:00 because the program failed its validation (error 5); the engine tries again at "
     L"18:00:00."},
    {"FailedStart", kRunning, deferred(9, 2), kHourly, Verdict::deferred,
     L"Deferred at 16:59:00 because the program could not be started (error 2); the engine tries again at "
     L"18:00:00."},
    {"DeferredLogonTaskRetries", kRunning, deferred(7, 0),
     with(kLogonEvery3, [](TaskPicture& p) { p.logonNextRun = kNow + kDay + 60; }), Verdict::deferred,
     L"Deferred at 16:59:00 because the program could not be started in the user's session; the engine tries again "
     L"at 2027-01-16 17:01:00."},
    {"DeferralOlderThanLaunch", kRunning, deferred(0, 0, LaunchOutcome{kNow - 10, 0, 0, 5}), kHourly,
     Verdict::waiting, L"Its next run is at 18:00:00 and nothing holds it."},
    {"RetryTimeCame", kRunning, deferred(1, 0), with(kHourly, [](TaskPicture& p) { p.nextRun = kNow - 1; }),
     Verdict::due, L"It has been due since 16:59:59 and runs when the engine next looks at its tasks."},
    {"DeferredThenQueuedAgain", kRunning, TaskState{true, false, {}, {}, DeferralOutcome{kNow - 60, 0, 3600, 0}},
     kHourly, Verdict::due, L"It is due and waits in the run queue behind other tasks."},
    {"Queued", kRunning, {true, false, {}, {}, {}}, kLogonEvery3, Verdict::due,
     L"It is due and waits in the run queue behind other tasks."},
    {"NeverScheduled", kRunning, {}, with(kHourly, [](TaskPicture& p) { p.nextRun = 0; }), Verdict::due,
     L"It has no next run yet, so it is due and runs when the engine next looks at its tasks."},
    {"LogonOccasion", kRunning, {}, kLogonEvery3, Verdict::occasion,
     L"It runs at every 3rd logon; 1 has passed since it last ran, so it runs at the 2nd logon from now."},
    {"LogonOccasionReached", kRunning, {}, with(kLogonEvery3, [](TaskPicture& p) { p.nextRun = 2; }),
     Verdict::occasion,
     L"It runs at every 3rd logon; 2 have passed since it last ran, so it runs at the next logon."},
    {"BootOccasion", kRunning, {},
     with(kLogonEvery3, [](TaskPicture& p) { p.type = KS_TASK_REBOOT, p.defaultFreq = 1; }), Verdict::occasion,
     L"It runs at every machine start, so it runs at the next one."},
    {"Waiting", kRunning, {}, kHourly, Verdict::waiting, L"Its next run is at 18:00:00 and nothing holds it."},
    {"Once", kRunning, {}, with(kHourly, [](TaskPicture& p) { p.type = KS_TASK_ONCE, p.nextRun = 0; }),
     Verdict::waiting, L"It is a one-time task, and the engine never starts one by itself: it has no next run."},
};

class Verdicts : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(Verdicts, TakeTheirPrecedenceAndSentence)
{
    KsCalendarTest::PinnedZone zone(KsCalendarTest::kJapan.tz);
    const VerdictCase& c = GetParam();
    const Explanation e = explainTask(c.engine, c.task, c.picture, kNow);
    EXPECT_STREQ(verdictWord(e.verdict), verdictWord(c.verdict));
    EXPECT_EQ(e.why, c.why);
}

INSTANTIATE_TEST_SUITE_P(Explain, Verdicts, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
