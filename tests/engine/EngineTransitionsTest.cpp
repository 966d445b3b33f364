// The engine's moves as a table: every phase met by every event, without a thread, a window or the
// registry; then what a move carries beside its phase (reason, since, until).
#include "engine/EngineTransitions.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

using namespace Keelwork::engine;
using E = EngineEvent;

constexpr EnginePhase S = EnginePhase::starting, D = EnginePhase::startDelay, R = EnginePhase::running,
                      U = EnginePhase::suspended, C = EnginePhase::connectedStandby,
                      M = EnginePhase::autoMaintenance, P = EnginePhase::stopping, X = EnginePhase::stopped;
constexpr std::array<EnginePhase, 8> kPhases = {S, D, R, U, C, M, P, X};
constexpr uint32_t kBefore = 1000, kNow = 2000;

// The phase a move ends in, and its actions: t trigger, c cancel the timer, a arm a week ahead.
struct Outcome {
    EnginePhase phase;
    const char* actions;
};

struct Row {
    const char* label;
    EngineInput input;
    std::array<Outcome, 8> from;  // in kPhases' order
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.label;
}

std::string actionLetters(const EngineActions& a)
{
    return std::string(a.trigger ? "t" : "") + (a.cancelTimer ? "c" : "") + (a.armStandby ? "a" : "");
}

const Row kTable[] = {
    {"oemSetUpRuns", {E::oemSetUpRuns, kNow},
     {{{S, ""}, {D, ""}, {R, ""}, {U, ""}, {C, ""}, {M, ""}, {P, ""}, {X, ""}}}},
    {"suspend", {E::suspend, kNow, EngineReason::restartPending},
     {{{U, "c"}, {U, "c"}, {U, "c"}, {U, ""}, {U, "c"}, {U, "c"}, {P, ""}, {X, ""}}}},
    {"startDelayBegins", {E::startDelayBegins, kNow, EngineReason::outOfBoxWait, kNow + 600},
     {{{D, ""}, {D, ""}, {D, ""}, {U, ""}, {D, ""}, {D, ""}, {P, ""}, {X, ""}}}},
    {"startDelayOver", {E::startDelayOver, kNow},
     {{{R, "t"}, {R, "t"}, {R, "t"}, {U, ""}, {R, "t"}, {R, "t"}, {P, ""}, {X, ""}}}},
    {"startDelayOverInStandby", {E::startDelayOver, kNow, EngineReason::none, 0, true},
     {{{C, ""}, {C, ""}, {C, ""}, {U, ""}, {C, ""}, {C, ""}, {P, ""}, {X, ""}}}},
    {"startDelayOverDuringMaintenance", {E::startDelayOver, kNow, EngineReason::none, 0, false, true},
     {{{M, "t"}, {M, "t"}, {M, "t"}, {U, ""}, {M, "t"}, {M, "t"}, {P, ""}, {X, ""}}}},
    {"outOfBoxRefresh", {E::outOfBoxRefresh, kNow},
     {{{R, ""}, {R, ""}, {R, ""}, {U, ""}, {C, ""}, {M, ""}, {P, ""}, {X, ""}}}},
    {"standbyFound", {E::standbyFound, kNow, EngineReason::none, kNow + 604800},
     {{{S, "a"}, {D, "a"}, {C, "a"}, {U, ""}, {C, "a"}, {C, "a"}, {P, ""}, {X, ""}}}},
    {"standbyOver", {E::standbyOver, kNow},
     {{{S, ""}, {D, ""}, {R, ""}, {U, ""}, {R, ""}, {M, ""}, {P, ""}, {X, ""}}}},
    {"standbyOverDuringMaintenance", {E::standbyOver, kNow, EngineReason::none, 0, false, true},
     {{{S, ""}, {D, ""}, {R, ""}, {U, ""}, {M, ""}, {M, ""}, {P, ""}, {X, ""}}}},
    {"maintenanceBegins", {E::maintenanceBegins, kNow},
     {{{S, ""}, {D, ""}, {M, ""}, {U, ""}, {M, ""}, {M, ""}, {P, ""}, {X, ""}}}},
    {"maintenanceEnds", {E::maintenanceEnds, kNow},
     {{{S, ""}, {D, ""}, {R, ""}, {U, ""}, {C, ""}, {R, ""}, {P, ""}, {X, ""}}}},
    {"machineSuspends", {E::machineSuspends, kNow},
     {{{D, "c"}, {D, "c"}, {D, "c"}, {U, "c"}, {D, "c"}, {D, "c"}, {P, ""}, {X, ""}}}},
    {"stopRequested", {E::stopRequested, kNow},
     {{{P, ""}, {P, ""}, {P, ""}, {P, ""}, {P, ""}, {P, ""}, {P, ""}, {X, ""}}}},
    {"stopped", {E::stopped, kNow},
     {{{X, ""}, {X, ""}, {X, ""}, {X, ""}, {X, ""}, {X, ""}, {X, ""}, {X, ""}}}},
};

class EngineTransitions : public ::testing::TestWithParam<Row> {};

TEST_P(EngineTransitions, EveryPhaseMovesAsTheTableSays)
{
    const Row& row = GetParam();
    for (size_t i = 0; i < kPhases.size(); ++i) {
        const EngineState before{kPhases[i], EngineReason::none, kBefore, 0};
        const EngineMove move = transition(before, row.input);
        SCOPED_TRACE(std::string("from ") + std::to_string(i));
        EXPECT_EQ(move.state.phase, row.from[i].phase) << KsState::phaseWord(move.state.phase);
        EXPECT_EQ(actionLetters(move.actions), row.from[i].actions);
        // A phase entered starts now; one the engine stays in keeps its start.
        const bool moved = move.state.phase != before.phase || move.state.reason != before.reason;
        EXPECT_EQ(move.state.since, moved ? kNow : kBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EngineTransitions, ::testing::ValuesIn(kTable),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(EngineTransitionsCover, EveryEventHasARow)
{
    std::array<bool, kEngineEventCount> seen{};
    for (const Row& row : kTable)
        seen[static_cast<size_t>(row.input.event)] = true;
    for (int e = 0; e < kEngineEventCount; ++e)
        EXPECT_TRUE(seen[e]) << "event " << e;
}

// The reason and the end a phase is entered with.
TEST(EngineTransitionsCarry, ReasonAndUntilComeWithThePhase)
{
    const EngineState running{R, EngineReason::none, kBefore, 0};
    EXPECT_EQ(transition(running, {E::suspend, kNow, EngineReason::safeMode}).state,
              (EngineState{U, EngineReason::safeMode, kNow, 0}));
    EXPECT_EQ(transition(running, {E::startDelayBegins, kNow, EngineReason::installing, kNow + 300}).state,
              (EngineState{D, EngineReason::installing, kNow, kNow + 300}));
    const EngineState standby{C, EngineReason::none, kBefore, kBefore + 604800};
    EXPECT_EQ(transition(standby, {E::standbyFound, kNow, EngineReason::none, kNow + 604800}).state,
              (EngineState{C, EngineReason::none, kBefore, kNow + 604800}));
    EXPECT_EQ(transition({D, EngineReason::outOfBoxWait, kBefore, kNow}, {E::machineSuspends, kNow}).state,
              (EngineState{D, EngineReason::none, kNow, 0}));
}

} // namespace
