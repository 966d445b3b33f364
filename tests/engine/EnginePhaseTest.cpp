// Every way out of a phase, through the real engine: the phase the board shows is the one the
// engine acts in, and only the engine thread writes the board.
#include "EngineLoopFixture.h"

#include "engine/RunningEngine.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace kstest;
using KsState::EnginePhase;
using KsState::EngineReason;
using KsState::EngineState;
using KsState::EngineStateBoard;
using KsState::phaseWord;

class EnginePhases : public EngineLoop {
protected:
    static bool awaitPhase(EnginePhase phase)
    {
        return awaitTrue([phase] { return engineState().phase == phase; });
    }
};

// Connected standby ends and a log-on (or a new task) wakes the engine: its task runs, and the
// engine says "running" from that step on, not until the next timer a week ahead.
class StandbyOver : public EnginePhases, public ::testing::WithParamInterface<const char*> {};

TEST_P(StandbyOver, TheWakeThatRunsATaskEndsTheStandbyPhase)
{
    const std::string wake = GetParam();
    m_monitors.answer(names::kConnectedStandbyRequest, names::kConnectedStandbyOn);
    TestClock clock;
    storeTask({.name = L"woken", .nextRun = clock.value - 5});
    start();
    kick();
    expectPhase(EnginePhase::connectedStandby);
    m_monitors.answer(names::kConnectedStandbyRequest, L"SystemMonitor.ConnectedStandby.Off");
    if (wake == "logon")
        send(Keelwork::engine::kLogonMessage);
    else
        signalNewTask();
    ASSERT_EQ(awaitMessages({completed(L"woken")}), std::set<std::wstring>{});
    send(WM_NULL);
    const EngineState state = engineState();
    EXPECT_EQ(state.phase, EnginePhase::running) << phaseWord(state.phase);
    EXPECT_EQ(state.until, 0u) << "still names the standby's week";
}

INSTANTIATE_TEST_SUITE_P(Wake, StandbyOver, ::testing::Values("logon", "newTask"),
                         [](const auto& info) { return std::string(info.param); });

// An auto-maintenance run stopped by another module (not drained by the engine) ends the phase.
TEST_F(EnginePhases, MaintenanceRunStoppedFromOutsideReturnsToRunning)
{
    TestClock clock;
    GateTask gate;
    storeTask({.name = L"gate", .params = gate.params(), .nextRun = clock.value + 3600});
    start();
    kick();
    expectPhase(EnginePhase::running);
    ASSERT_TRUE(Keelwork::engine::switchRunningEngineAMMode(true));
    ASSERT_TRUE(gate.runs());
    ASSERT_EQ(engineState().phase, EnginePhase::autoMaintenance);
    ASSERT_TRUE(Keelwork::engine::switchRunningEngineAMMode(false));
    gate.release();
    ASSERT_EQ(awaitMessages({completed(L"gate")}), std::set<std::wstring>{});
    EXPECT_TRUE(awaitPhase(EnginePhase::running)) << phaseWord(engineState().phase);
}

// A suspended engine (a restart pending) stays suspended through a sleep and a wake of the machine:
// the resume's start delay does not lift a suspension for life.
TEST_F(EnginePhases, SuspensionOutlastsASleepOfTheMachine)
{
    setDword(L"SOFTWARE\\Kestrel\\Volatile\\ZARN", L"IsRestartPending", 1);
    setDword(kSettingsKey, L"aftersuspend_wait", 0);
    start();
    expectPhase(EnginePhase::suspended, EngineReason::restartPending);
    send(WM_POWERBROADCAST, PBT_APMSUSPEND);
    EXPECT_EQ(engineState().phase, EnginePhase::suspended) << phaseWord(engineState().phase);
    send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND);
    expectPhase(EnginePhase::suspended, EngineReason::restartPending);
}

// The board takes writes from the thread that made it only; another thread's is refused, logged,
// and leaves the board as it was.
TEST(EngineStateBoardWriter, AWriteFromAnotherThreadIsRefused)
{
    EngineStateBoard board;
    const EngineState mine{EnginePhase::running, EngineReason::none, 100, 0};
    ASSERT_TRUE(board.setEngine(mine));
    LogCapture log;
    bool written = true;
    std::thread([&] {
        written = board.setEngine(EngineState{EnginePhase::suspended, EngineReason::safeMode, 200, 0});
        board.changeTask(L"t", [](KsState::TaskState& task) { task.running = true; });
    }).join();
    EXPECT_FALSE(written);
    EXPECT_EQ(board.engine(), mine);
    EXPECT_FALSE(board.read(L"t").second.running);
    EXPECT_TRUE(log.contains(L"The engine's state board refused a write from thread"));
}

} // namespace
