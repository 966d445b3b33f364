// The engine's last move: when the engine's parts are gone, its board says "stopped" and other
// processes are told. A member of the engine declared before every part it outlives, so that the
// members' destruction order is the teardown.
//
// Threading: the engine thread (the board's writer).
#pragma once

#include "common/Clock.h"
#include "engine/EngineTransitions.h"
#include "state/StateMirror.h"

namespace Keelwork::engine {

class StoppedOnExit {
public:
    StoppedOnExit(KsState::EngineStateBoard& board, KsState::StateMirror& mirror) : m_board(board), m_mirror(mirror) {}
    StoppedOnExit(const StoppedOnExit&) = delete;
    StoppedOnExit& operator=(const StoppedOnExit&) = delete;

    ~StoppedOnExit()
    {
        try {
            m_board.setEngine(transition(m_board.engine(), {EngineEvent::stopped, Clock::current().now()}).state);
            // The tasks' values stay with the stopped engine's: their last launch and deferral are
            // what a reader asks about then, and the in-process board keeps them too.
            m_mirror.follow(m_board);
        } catch (...) {
            // Ending on an exception already: the board keeps the phase it had.
        }
    }

private:
    KsState::EngineStateBoard& m_board;
    KsState::StateMirror& m_mirror;
};

} // namespace Keelwork::engine
