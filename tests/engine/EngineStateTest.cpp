// The engine's state board through the real engine: each phase of the engine and each thing that
// holds a task, entered by its real transition and read from the test's thread while the engine
// runs.
#include "EngineLoopFixture.h"

#include "engine/EngineState.h"
#include "engine/RunningEngine.h"
#include "platform/BootMode.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using namespace kstest;
using Keelwork::engine::DeferralOutcome;
using Keelwork::engine::EnginePhase;
using Keelwork::engine::EngineReason;
using Keelwork::engine::EngineState;
using Keelwork::engine::holdWord;
using Keelwork::engine::HoldReason;
using Keelwork::engine::LaunchOutcome;
using Keelwork::engine::phaseWord;
using Keelwork::engine::reasonWord;
using Keelwork::engine::switchRunningEngineAMMode;
using Keelwork::engine::TaskHold;

constexpr const wchar_t* kOemKey = L"SOFTWARE\\Kestrel\\ZARN\\Oem";

class EngineStateTest : public EngineLoop {
public:
    // What the table rows arrange.
    static void dword(const wchar_t* key, const wchar_t* value, DWORD data) { setDword(key, value, data); }
    static void text(const wchar_t* key, const wchar_t* value, const wchar_t* data) { setString(key, value, data); }
    void standbyOn() { m_monitors.answer(names::kConnectedStandbyRequest, names::kConnectedStandbyOn); }
    void safeMode() { m_safe.emplace(); }

protected:
    std::optional<SafeBoot> m_safe;
};

// --- The engine's phase ------------------------------------------------------------------------

struct PhaseCase {
    const char* label;
    std::function<void(EngineStateTest&)> arrange;  // before the start
    bool kick;                                      // the start delay ends
    EnginePhase phase;
    EngineReason reason;
    uint32_t until;  // seconds after `since`; 0: open-ended
};

void PrintTo(const PhaseCase& row, std::ostream* out)
{
    *out << row.label;
}

class EnginePhases : public EngineStateTest, public ::testing::WithParamInterface<PhaseCase> {};

TEST_P(EnginePhases, AreOnTheBoard)
{
    const PhaseCase& c = GetParam();
    if (c.arrange)
        c.arrange(*this);
    start();
    if (c.kick)
        kick();
    // The started event comes before the start delay is set: wait for the start to be over.
    awaitTrue([] { return engineState().phase != EnginePhase::starting; });
    const EngineState state = engineState();
    EXPECT_EQ(state.phase, c.phase) << phaseWord(state.phase);
    EXPECT_EQ(state.reason, c.reason) << reasonWord(state.reason);
    EXPECT_NE(state.since, 0u);
    EXPECT_EQ(state.until, c.until == 0 ? 0 : state.since + c.until);
    stop();
    EXPECT_EQ(engineState().phase, EnginePhase::stopped);
}

INSTANTIATE_TEST_SUITE_P(
    Board, EnginePhases,
    ::testing::Values(
        PhaseCase{"StartDelayAfterReboot",
                  [](EngineStateTest&) { EngineStateTest::dword(kSettingsKey, L"winrestart_wait", 300); }, false,
                  EnginePhase::startDelay, EngineReason::none, 300},
        PhaseCase{"StartDelayWhileInstalling",
                  [](EngineStateTest&) {
                      EngineStateTest::dword(kSettingsKey, L"winrestart_wait", 300);
                      EngineStateTest::text(L"SOFTWARE\\KestrelInstaller", L"installmedia", L"D:\\");
                  },
                  false, EnginePhase::startDelay, EngineReason::installing, 300},
        PhaseCase{"StartDelayOutOfBox",
                  [](EngineStateTest&) {
                      EngineStateTest::dword(kOemKey, L"oobemode", 1);
                      EngineStateTest::dword(kSettingsKey, L"oobe_wait", 600);
                  },
                  false, EnginePhase::startDelay, EngineReason::outOfBoxWait, 600},
        PhaseCase{"SuspendedRestartPending",
                  [](EngineStateTest&) { EngineStateTest::dword(L"SOFTWARE\\Kestrel\\Volatile\\ZARN", L"IsRestartPending", 1); },
                  true, EnginePhase::suspended, EngineReason::restartPending, 0},
        PhaseCase{"SuspendedSafeMode", [](EngineStateTest& t) { t.safeMode(); }, true, EnginePhase::suspended,
                  EngineReason::safeMode, 0},
        PhaseCase{"Running", nullptr, true, EnginePhase::running, EngineReason::none, 0},
        PhaseCase{"ConnectedStandby",
                  [](EngineStateTest& t) { t.standbyOn(); }, true, EnginePhase::connectedStandby, EngineReason::none, 0}),
    [](const auto& info) { return std::string(info.param.label); });

// --- What holds a task, and what its last launch and deferral came to --------------------------

// Queued behind a running task; an auto-maintenance run holds out the task excluded from it.
TEST_F(EngineStateTest, QueuedRunningAndExcludedDuringAnAutoMaintenanceRun)
{
    TestClock clock;
    GateTask gate;
    storeTask({.name = L"gate", .params = gate.params(), .nextRun = clock.value + 3600, .priority = KS_PRIORITY_REALTIME});
    storeTask({.name = L"behind", .nextRun = clock.value + 3600});
    storeTask({.name = L"excluded", .nextRun = clock.value - 5, .wise = KS_AM_TASK_EXCLUSION_WISE});
    start();
    kick();
    ASSERT_TRUE(switchRunningEngineAMMode(true));
    ASSERT_TRUE(gate.runs());
    EXPECT_EQ(engineState().phase, EnginePhase::autoMaintenance);
    EXPECT_TRUE(taskState(L"gate").running);
    EXPECT_TRUE(taskState(L"behind").queued);
    EXPECT_EQ(taskState(L"excluded").hold.reason, HoldReason::maintenanceExclusion);
}

// A task listed for retail demo mode is held from the start for as long as the engine runs, and
// never runs. The holds that end (idle, full screen, out-of-box) are the pump's tests'.
TEST_F(EngineStateTest, RetailDemoHoldIsOnTheBoardOpenEnded)
{
    TestClock clock;
    dword(L"SOFTWARE\\Kestrel\\ZARN", L"AutomationModeCheck", 1);
    dword(L"SOFTWARE\\Kestrel\\ZARN", L"RetailModeInAutomation", 1);
    text(KsStore::kSchedulerKeyPath, L"DisabledInRetailModeTasks", L"held");
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

// A program that ran and ended with its exit code; one that was refused, with its deferral.
TEST_F(EngineStateTest, LastLaunchAndLastDeferralAreKept)
{
    storeTask({.name = L"exits7", .params = L"--exit 7"});
    storeTask({.name = L"refused", .trigger = testProgramFolder() + L"\\no-such-program.exe"});
    start();
    EXPECT_EQ(awaitMessages({completed(L"exits7"), L"TaskScheduler.Task.LaunchAttempt.refused {\"name\":\"refused\"}"}),
              std::set<std::wstring>{});
    // The board is told right after the report goes out.
    std::optional<LaunchOutcome> launched;
    ASSERT_TRUE(awaitTrue([&] { return (launched = taskState(L"exits7").lastLaunch).has_value(); }));
    EXPECT_EQ(launched->result, 0u);
    EXPECT_EQ(launched->exitCode, std::optional<uint32_t>(7));
    EXPECT_FALSE(taskState(L"exits7").lastDeferral);
    std::optional<DeferralOutcome> deferred;
    ASSERT_TRUE(awaitTrue([&] { return (deferred = taskState(L"refused").lastDeferral).has_value(); }));
    EXPECT_EQ(deferred->code, 10u);
    EXPECT_EQ(deferred->error, 5u);
    EXPECT_FALSE(taskState(L"refused").lastLaunch) << "a refused program was not started";
}

} // namespace
