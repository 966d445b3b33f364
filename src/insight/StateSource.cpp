// The in-process state source over the published engine state board.
#include "insight/StateSource.h"

namespace KsInsight {

std::pair<KsState::EngineState, KsState::TaskState> BoardStateSource::read(const std::wstring& name) const
{
    const auto board = KsState::currentEngineStateBoard();
    if (!board)
        return {KsState::EngineState{}, KsState::TaskState{}};
    return board->read(name);
}

} // namespace KsInsight
