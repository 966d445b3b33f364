// The engine's state as the state key tells it, read once, for the same answers the module gives
// from its board. A key whose writer no longer runs tells what that engine last knew, not what
// is: the engine is then taken as stopped and its tasks as neither queued, running nor held,
// while their last launch and deferral, which did happen, stay.
#pragma once

#include "insight/StateSource.h"
#include "state/MirroredState.h"

namespace KsTaskTool {

class MirroredStateSource final : public KsInsight::StateSource {
public:
    explicit MirroredStateSource(KsState::MirroredState state) : m_state(std::move(state)) {}

    std::pair<KsState::EngineState, KsState::TaskState> read(const std::wstring& name) const override;

    // A key is there, and the process that wrote it is gone.
    // The writer ended without saying it stopped: its last phase is not to be trusted. A writer
    // that stopped cleanly left "stopped", which stays true after it is gone.
    bool ownerGone() const
    {
        return m_state.present && !m_state.ownerRunning && m_state.engine.phase != KsState::EnginePhase::stopped;
    }
    const KsState::MirroredState& mirrored() const { return m_state; }

private:
    KsState::MirroredState m_state;
};

} // namespace KsTaskTool
