// What holds a due task back, and for how long, through the real engine: the pump's holds (also on
// the state board), a batch that outwaited full screen, a held task's next look, a run-once task.
#include "EngineLoopFixture.h"
#include "ExpectLogged.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace kstest;
using KsState::HoldReason;

constexpr uint32_t kHold = 600;

struct SetBackCase {
    const char* label;
    HoldReason hold;
    uint32_t back;  // seconds the clock goes back in the middle of the hold
};

void PrintTo(const SetBackCase& row, std::ostream* out)
{
    *out << row.label;
}

class ClockSetBack : public EngineLoop, public ::testing::WithParamInterface<SetBackCase> {
protected:
    void holdFor(HoldReason hold)
    {
        switch (hold) {
        case HoldReason::outOfBox:
            setDword(L"SOFTWARE\\Kestrel\\ZARN\\Oem", L"oobemode", 1);
            setDword(kSettingsKey, L"oobe_wait", kHold);
            break;
        case HoldReason::idle:
            setDword(kSettingsKey, L"idlemode_timeout", kHold);
            break;
        default:
            setDword(kSettingsKey, L"fullscreen_wait", kHold);
            answerFullScreen(true);
            break;
        }
    }
};

// The hold begins at t0 and lasts 600 s, as the state board says. Halfway through, the clock goes
// back to before t0, and the task (due long before either reading) is looked at twice: the first
// look may close the hold's books, the second would run it. It runs once the hold's own time is over.
TEST_P(ClockSetBack, HoldStays)
{
    TestClock clock;
    const uint32_t t0 = clock.value;
    const uint32_t dueAt = t0 - 2 * 3600;
    // An idle hold needs an idle user, who never is: the idle detector's mutex does not exist.
    storeTask({.name = L"held", .nextRun = dueAt, .runWhenIdle = GetParam().hold == HoldReason::idle ? 1u : 0u});
    holdFor(GetParam().hold);
    start();
    kick();
    triggerAndPump();
    const KsState::TaskHold hold = taskState(L"held").hold;
    EXPECT_EQ(hold.reason, GetParam().hold) << KsState::holdWord(hold.reason);
    EXPECT_EQ(hold.since, t0);
    EXPECT_EQ(hold.until, t0 + kHold);
    clock.value = t0 + kHold / 2;
    triggerAndPump();
    ASSERT_FALSE(ran(L"held", dueAt)) << "not held at all";
    clock.value = t0 - GetParam().back;
    triggerAndPump();
    triggerAndPump();
    EXPECT_FALSE(ran(L"held", dueAt)) << "the clock set back ended the hold";
    clock.value = t0 + kHold;
    triggerAndPump();
    EXPECT_TRUE(ran(L"held", dueAt)) << "held beyond its time";
}

INSTANTIATE_TEST_SUITE_P(Holds, ClockSetBack,
                         ::testing::Values(SetBackCase{"OutOfBoxOneSecond", HoldReason::outOfBox, 1},
                                           SetBackCase{"OutOfBoxOneHour", HoldReason::outOfBox, 3600},
                                           SetBackCase{"IdleOneSecond", HoldReason::idle, 1},
                                           SetBackCase{"IdleOneHour", HoldReason::idle, 3600},
                                           SetBackCase{"FullScreenOneSecond", HoldReason::fullScreen, 1},
                                           SetBackCase{"FullScreenOneHour", HoldReason::fullScreen, 3600}),
                         [](const auto& info) { return std::string(info.param.label); });

class PumpHold : public EngineLoop {};

// The full-screen limit frees the whole batch that waited it out (the task behind the head runs
// without being looked at again), not the next batch.
TEST_F(PumpHold, BatchThatWaitedOutTheLimitRunsWholeAndTheNextIsHeldAgain)
{
    TestClock clock;
    const uint32_t t0 = clock.value;
    setDword(kSettingsKey, L"fullscreen_wait", kHold);
    answerFullScreen(true);
    storeTask({.name = L"first", .nextRun = t0 - 5});
    storeTask({.name = L"behind", .nextRun = t0 - 5});
    start();
    kick();
    triggerAndPump();
    ASSERT_FALSE(ran(L"first", t0 - 5) || ran(L"behind", t0 - 5)) << "not held at all";
    clock.value = t0 + kHold;
    triggerAndPump();
    ASSERT_TRUE(ran(L"first", t0 - 5) && ran(L"behind", t0 - 5)) << "held beyond the limit";

    LogCapture log;
    storeTask({.name = L"second", .nextRun = clock.value - 5});
    signalNewTask();
    EXPECT_TRUE(awaitLogged(log, L"Task has been Deferred Name: second Reason: Full-screen"));
    EXPECT_FALSE(ran(L"second", clock.value - 5)) << "the next batch ran during full screen";
}

// A task that leaves the list while its item waits in the queue is held no more, though its item
// still heads the queue; stored again, it is queued again on the board, as the engine will run it
// at its turn.
TEST_F(PumpHold, AQueuedTaskThatLeavesAndComesBackIsHeldOnlyWhileStored)
{
    TestClock clock;
    setDword(kSettingsKey, L"fullscreen_wait", kHold);
    answerFullScreen(true);
    storeTask({.name = L"comes back", .nextRun = clock.value - 5});
    start();
    kick();
    triggerAndPump();
    ASSERT_EQ(taskState(L"comes back").hold.reason, HoldReason::fullScreen);
    for (const bool stored : {false, true}) {
        LogCapture log;
        CKsTask task(L"comes back");
        ASSERT_TRUE(task.Read() && (stored ? task.Enable() : task.Disable()));
        signalNewTask();
        // The pump after the refresh, not a pump message left over from the start.
        ASSERT_TRUE(awaitTrue([&log] {
            const std::wstring text = log.text();
            const size_t refresh = text.find(L"A new task was either added or deleted");
            return refresh != std::wstring::npos &&
                   text.find(L"Task has been Deferred Name: comes back Reason: Full-screen", refresh) != std::wstring::npos;
        })) << narrowForReport(log.text());
        send(WM_NULL);
        const KsState::TaskState state = taskState(L"comes back");
        EXPECT_EQ(state.hold.reason, stored ? HoldReason::fullScreen : HoldReason::none) << "stored " << stored;
        EXPECT_EQ(state.queued, stored) << "stored " << stored;
    }
}

// The timer takes the earlier of the poll and the next due task.
TEST_F(PumpHold, HeldTaskIsLookedAtAgainAfterItsPoll)
{
    setDword(kSettingsKey, L"fullscreen_poll", 2);
    answerFullScreen(true);
    storeTask({.name = L"held", .params = L"--set-event " + ranEventName()});
    storeTask({.name = L"later", .nextRun = Keelwork::Clock::current().now() + 5 * 3600});
    LogCapture log;
    start();
    ASSERT_TRUE(awaitLogged(log, L"Task has been Deferred Name: held Reason: Full-screen WaitTimeout: 2 s"));
    answerFullScreen(false);
    EXPECT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "not looked at after its poll";
}

// A task without period, interval or repeat flag has its key deleted by its launch, whether its
// program then runs or is refused: it leaves the engine's list at once, and the engine's later
// wake-ups before any refresh (a log-on, the timer, another task) do not attempt it again.
class RunOnce : public EngineLoop, public ::testing::WithParamInterface<bool> {};

TEST_P(RunOnce, IsAttemptedExactlyOnce)
{
    const bool trusted = GetParam();
    TestClock clock;
    const uint32_t t0 = clock.value;
    storeTask({.name = L"once",
               .trigger = trusted ? sampleTaskPath() : testProgramFolder() + L"\\no-such-program.exe",
               .nextRun = t0 - 5,
               .freq = 0});
    // The last of its batch.
    storeTask({.name = L"marker", .nextRun = t0 + 60, .priority = KS_PRIORITY_LOWEST});
    start();
    kick();
    triggerAndPump();
    clock.value = t0 + 60;
    fireTimer();
    triggerAndPump();

    const std::vector<std::wstring> seen = messagesUntil(completed(L"marker"));
    ASSERT_TRUE(!seen.empty() && seen.back() == completed(L"marker")) << "the marker task did not run";
    EXPECT_EQ(std::count(seen.begin(), seen.end(), L"TaskScheduler.Task.LaunchAttempt.once {\"name\":\"once\"}"), 1);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), completed(L"once")), trusted ? 1 : 0)
        << "the key goes, the run still takes place";
    EXPECT_FALSE(CKsTask(L"once").Read()) << "its key is still there";
}

INSTANTIATE_TEST_SUITE_P(Program, RunOnce, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Runs" : "Refused"); });

} // namespace
