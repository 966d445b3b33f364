// StateMirror: copies an EngineStateBoard into the volatile state key (state/StateKey.h), so
// programs outside the engine's process read what the board holds.
//
// Only what changed is written: the mirror remembers what the key holds (read once as it opens
// the key, then what it wrote) and writes a task's value only when its bytes differ; values of
// tasks with nothing left to tell, or of tasks no longer on the board, are removed, and so are
// those a previous owner left. The engine's value carries the second of the last mirror, so a
// mirror in a new second writes it even when the engine's phase stayed.
//
// Threading: one owner thread (the engine's); the board may be written meanwhile by that thread
// only, so what is mirrored is one consistent copy.
#pragma once

#include "registry/RegKey.h"
#include "state/StateKey.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace KsState {

class StateMirror {
public:
    StateMirror();
    StateMirror(const StateMirror&) = delete;
    StateMirror& operator=(const StateMirror&) = delete;

    // Mirrors the board when its change count moved since the last mirror that succeeded. A
    // failure logs one Warning until a mirror succeeds again; it is tried again at the next call.
    // Throws nothing.
    void follow(const EngineStateBoard& board);

    // Writes this state; `touched` counts the values written and removed. A Windows error code.
    LONG write(const EngineState& engine, const std::map<std::wstring, TaskState>& tasks, unsigned* touched = nullptr);

private:
    LONG open();
    LONG put(const std::wstring& name, std::vector<uint8_t> data, unsigned& touched);

    Keelwork::CRegKey m_key;
    std::map<std::wstring, std::vector<uint8_t>> m_held;  // what the open key holds
    StateOwner m_owner;
    std::optional<uint64_t> m_mirrored;  // the board's change count at the last mirror that succeeded
    bool m_warned = false;               // since the last mirror that succeeded
};

// This process, as the key names its owner.
StateOwner currentStateOwner();

} // namespace KsState
