// The state key's snapshot as a state source.
#include "MirroredStateSource.h"

namespace KsTaskTool {

std::pair<KsState::EngineState, KsState::TaskState> MirroredStateSource::read(const std::wstring& name) const
{
    if (!m_state.present)
        return {};
    const auto found = m_state.tasks.find(name);
    KsState::TaskState task = found == m_state.tasks.end() ? KsState::TaskState{} : found->second;
    if (m_state.ownerRunning)
        return {m_state.engine, task};
    KsState::TaskState outcomes;
    outcomes.lastLaunch = task.lastLaunch;
    outcomes.lastDeferral = task.lastDeferral;
    if (!ownerGone())
        return {m_state.engine, outcomes};
    return {KsState::EngineState{KsState::EnginePhase::stopped, KsState::EngineReason::none, m_state.written, 0},
            outcomes};
}

} // namespace KsTaskTool
