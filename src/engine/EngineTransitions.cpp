// The engine's moves from phase to phase.
#include "engine/EngineTransitions.h"

namespace Keelwork::engine {
namespace {

bool isAwake(EnginePhase phase)
{
    return phase == EnginePhase::running || phase == EnginePhase::connectedStandby ||
           phase == EnginePhase::autoMaintenance;
}

bool isWaiting(EnginePhase phase)
{
    return phase == EnginePhase::starting || phase == EnginePhase::startDelay;
}

EnginePhase runningPhase(const EngineInput& input)
{
    return input.maintenance ? EnginePhase::autoMaintenance : EnginePhase::running;
}

// A phase the engine stays in keeps its since: it says how long the engine has been so.
EngineState enter(const EngineState& from, EnginePhase phase, const EngineInput& input,
                  EngineReason reason = EngineReason::none, uint32_t until = 0)
{
    const bool same = from.phase == phase && from.reason == reason;
    return EngineState{phase, reason, same ? from.since : input.now, until};
}

// Suspended for the engine's life: only a stop moves it on.
EngineMove whileSuspended(const EngineState& state, const EngineInput& input)
{
    EngineMove move{state, {}};
    move.actions.cancelTimer = input.event == EngineEvent::machineSuspends;
    return move;
}

EngineMove whileLive(const EngineState& state, const EngineInput& input)
{
    const EnginePhase phase = state.phase;
    EngineMove move{state, {}};
    switch (input.event) {
    case EngineEvent::oemSetUpRuns:
        if (phase == EnginePhase::starting)
            move.state = enter(state, EnginePhase::starting, input, EngineReason::oemSetUp);
        break;
    case EngineEvent::suspend:
        move.state = enter(state, EnginePhase::suspended, input, input.reason);
        move.actions.cancelTimer = true;
        break;
    case EngineEvent::startDelayBegins:
        move.state = enter(state, EnginePhase::startDelay, input, input.reason, input.until);
        break;
    case EngineEvent::startDelayOver:
        move.state = enter(state, input.standby ? EnginePhase::connectedStandby : runningPhase(input), input);
        move.actions.trigger = !input.standby;
        break;
    case EngineEvent::outOfBoxRefresh:
        if (isWaiting(phase))
            move.state = enter(state, runningPhase(input), input);
        break;
    case EngineEvent::standbyFound:
        if (isAwake(phase))
            move.state = enter(state, EnginePhase::connectedStandby, input, EngineReason::none, input.until);
        move.actions.armStandby = true;
        break;
    case EngineEvent::standbyOver:
        if (phase == EnginePhase::connectedStandby)
            move.state = enter(state, runningPhase(input), input);
        break;
    case EngineEvent::maintenanceBegins:
        if (isAwake(phase))
            move.state = enter(state, EnginePhase::autoMaintenance, input);
        break;
    case EngineEvent::maintenanceEnds:
        if (phase == EnginePhase::autoMaintenance)
            move.state = enter(state, EnginePhase::running, input);
        break;
    case EngineEvent::machineSuspends:
        move.state = enter(state, EnginePhase::startDelay, input);
        move.actions.cancelTimer = true;
        break;
    case EngineEvent::stopRequested:
    case EngineEvent::stopped:
        break;
    }
    return move;
}

} // namespace

EngineMove transition(const EngineState& state, const EngineInput& input)
{
    if (input.event == EngineEvent::stopped)
        return {enter(state, EnginePhase::stopped, input), {}};
    if (state.phase == EnginePhase::stopping || state.phase == EnginePhase::stopped)
        return {state, {}};
    if (input.event == EngineEvent::stopRequested)
        return {enter(state, EnginePhase::stopping, input), {}};
    if (state.phase == EnginePhase::suspended)
        return whileSuspended(state, input);
    return whileLive(state, input);
}

bool isStarted(EnginePhase phase)
{
    return isAwake(phase);
}

bool isSuspended(EnginePhase phase)
{
    return phase == EnginePhase::suspended;
}

} // namespace Keelwork::engine
