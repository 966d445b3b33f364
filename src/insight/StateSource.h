// Where the answers take the engine's state from: in the module, the board the running engine
// publishes; in a tool, whatever that tool reads. Reading never waits for the engine thread.
#pragma once

#include "state/EngineState.h"

#include <string>
#include <utility>

namespace KsInsight {

class StateSource {
public:
    virtual ~StateSource() = default;
    StateSource(const StateSource&) = delete;
    StateSource& operator=(const StateSource&) = delete;

    // The engine's state and the named task's, taken together.
    virtual std::pair<KsState::EngineState, KsState::TaskState> read(const std::wstring& name) const = 0;

protected:
    StateSource() = default;
};

// The board of the engine in this process; before any engine started, a stopped engine and no
// task state.
class BoardStateSource final : public StateSource {
public:
    std::pair<KsState::EngineState, KsState::TaskState> read(const std::wstring& name) const override;
};

} // namespace KsInsight
