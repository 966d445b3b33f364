// The engine's moves from phase to phase: one pure function from its state and an event to its next
// state and what the engine must do about it. The engine decides from its state alone (started,
// suspended, running tasks), so every way out of a phase is written here, beside every way in.
//
// Threading: none; the engine thread applies the moves.
#pragma once

#include "state/EngineState.h"

#include <cstdint>

namespace Keelwork::engine {

using KsState::EnginePhase;
using KsState::EngineReason;
using KsState::EngineState;

enum class EngineEvent : uint8_t {
    oemSetUpRuns,        // the start waits for the OEM set-up to end
    suspend,             // a restart pending or safe mode (at the start, or after an update's run)
    startDelayBegins,    // a start delay is set: at the start, out-of-box, or after a resume
    startDelayOver,      // the start-delay timer fired (or the installer completed)
    outOfBoxRefresh,     // a refresh during out-of-box mode found a task to run: start at once
    standbyFound,        // a check found the machine in connected standby
    standbyOver,         // a check found the machine out of connected standby
    maintenanceBegins,   // the engine took an auto-maintenance run's event
    maintenanceEnds,     // the auto-maintenance switch went off (queue drained, timer, stop request)
    machineSuspends,     // the machine is about to sleep
    stopRequested,       // the loop ended
    stopped,             // the engine is gone
};
inline constexpr int kEngineEventCount = 12;

struct EngineInput {
    EngineEvent event;
    uint32_t now = 0;
    EngineReason reason = EngineReason::none;  // suspend, startDelayBegins
    uint32_t until = 0;                        // startDelayBegins, standbyFound
    bool standby = false;                      // startDelayOver: connected standby is on
    bool maintenance = false;                  // the auto-maintenance switch is on
};

// What the engine does once it has moved.
struct EngineActions {
    bool trigger = false;       // build the queue and start the pump
    bool cancelTimer = false;   // nothing is due to this engine until it runs again
    bool armStandby = false;    // look again a week ahead
    friend bool operator==(const EngineActions&, const EngineActions&) = default;
};

struct EngineMove {
    EngineState state;
    EngineActions actions;
};

EngineMove transition(const EngineState& state, const EngineInput& input);

// Tasks are queued by time: the start delay is over and the engine is not suspended (connected
// standby included: a check at the pump decides whether the head task runs).
bool isStarted(EnginePhase phase);
bool isSuspended(EnginePhase phase);
// The same, of the phase a board shows now (any thread).
inline bool isStarted(const KsState::EngineStateBoard& board) { return isStarted(board.engine().phase); }
inline bool isSuspended(const KsState::EngineStateBoard& board) { return isSuspended(board.engine().phase); }

} // namespace Keelwork::engine
