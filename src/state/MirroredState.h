// Reading the engine's state from the state key, from any process: what the engine that wrote it
// last told, and whether that engine's process still runs.
#pragma once

#include "state/EngineState.h"

#include <cstdint>
#include <map>
#include <string>

namespace KsState {

struct MirroredState {
    bool present = false;  // false: no key, or no engine value of a known form
    EngineState engine;
    std::map<std::wstring, TaskState> tasks;  // values of an unknown form are left out, with a Warning
    uint32_t ownerPid = 0;
    // The process that wrote the key still runs: its id names a process created when the key
    // says. A dead owner's key tells what it last knew, not what is.
    bool ownerRunning = false;
    uint32_t written = 0;  // seconds since 1970
};

// A damaged value is left out with a Warning; a damaged engine value leaves the whole state absent.
// ERROR_SUCCESS, with `state` not present when there is no key; another Windows error code when
// the key cannot be read, `state` then untouched.
LONG readMirroredState(MirroredState& state);

} // namespace KsState
