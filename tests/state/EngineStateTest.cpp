// The engine's state board, read from the test's thread while the engine runs: a run's phases and
// tasks, and the retail demo hold; the other phases and holds are read where they are tested.
#include "EngineLoopFixture.h"

#include "engine/RunningEngine.h"

#include <gtest/gtest.h>

namespace {

using namespace kstest;
using KsState::EnginePhase;
using KsState::holdWord;
using KsState::HoldReason;
using Keelwork::engine::switchRunningEngineAMMode;
using KsState::TaskHold;

class EngineStateTest : public EngineLoop {};

// Running, then in an auto-maintenance run: queued behind a running task, the task excluded from
// the run held out; stopped at the end.
TEST_F(EngineStateTest, QueuedRunningAndExcludedDuringAnAutoMaintenanceRun)
{
    TestClock clock;
    GateTask gate;
    storeTask({.name = L"gate", .params = gate.params(), .nextRun = clock.value + 3600, .priority = KS_PRIORITY_REALTIME});
    storeTask({.name = L"behind", .nextRun = clock.value + 3600});
    storeTask({.name = L"excluded", .nextRun = clock.value - 5, .wise = KS_AM_TASK_EXCLUSION_WISE});
    start();
    kick();
    expectPhase(EnginePhase::running);
    ASSERT_TRUE(switchRunningEngineAMMode(true));
    ASSERT_TRUE(gate.runs());
    EXPECT_EQ(engineState().phase, EnginePhase::autoMaintenance);
    EXPECT_TRUE(taskState(L"gate").running);
    EXPECT_TRUE(taskState(L"behind").queued);
    EXPECT_EQ(taskState(L"excluded").hold.reason, HoldReason::maintenanceExclusion);
    gate.release();
    stop();
    EXPECT_EQ(engineState().phase, EnginePhase::stopped);
}

// A task listed for retail demo mode is held from the start for as long as the engine runs, and
// never runs. The holds that end (idle, full screen, out-of-box) are the pump's tests'.
TEST_F(EngineStateTest, RetailDemoHoldIsOnTheBoardOpenEnded)
{
    TestClock clock;
    setDword(L"SOFTWARE\\Kestrel\\ZARN", L"AutomationModeCheck", 1);
    setDword(L"SOFTWARE\\Kestrel\\ZARN", L"RetailModeInAutomation", 1);
    setString(KsStore::kSchedulerKeyPath, L"DisabledInRetailModeTasks", L"held");
    storeTask({.name = L"held", .nextRun = clock.value - 5});
    start();
    kick();
    triggerAndPump();
    const TaskHold hold = taskState(L"held").hold;
    EXPECT_EQ(hold.reason, HoldReason::retailDemo) << holdWord(hold.reason);
    EXPECT_EQ(hold.since, clock.value);
    EXPECT_EQ(hold.until, 0u);
    EXPECT_FALSE(ran(L"held", clock.value - 5));
}

} // namespace
