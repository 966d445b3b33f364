// The engine's parts, built with its record of its phase, "starting", published.
#include "engine/EngineParts.h"

#include "common/Clock.h"
#include "engine/TaskManager.h"

namespace Keelwork::engine {

EngineParts::EngineParts(HANDLE exitEvent)
    : m_hExitEvent(exitEvent), m_board(std::make_shared<KsState::EngineStateBoard>()), m_probes(exitEvent)
{
    m_customization.Initialize();
    m_board->setEngine(
        KsState::EngineState{KsState::EnginePhase::starting, KsState::EngineReason::none, Clock::current().now(), 0});
    KsState::publishEngineStateBoard(m_board);
}

// Here, where the task manager is known in full.
EngineParts::~EngineParts() = default;

} // namespace Keelwork::engine
