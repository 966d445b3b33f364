// The registry key the engine's state is mirrored into, so that programs outside the engine's
// process (the console tool, another process's answers) read what the engine's board holds, and
// the binary form of its values.
//
// The key is volatile (gone when the machine restarts, like the state it tells) and open to SYSTEM
// and Administrators only. Its default value is the engine's; every other value is named after
// a task and holds that task's state. Every value starts with a version byte; a value of another
// version or size reads as absent.
#pragma once

#include "state/EngineState.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace KsState {

inline constexpr const wchar_t* kStateKeyPath = L"SOFTWARE\\Kestrel\\Platform\\SchedulerState";
// The engine's value: the default value, a name no task can have.
inline constexpr const wchar_t* kEngineValueName = L"";

inline constexpr uint8_t kStateLayoutVersion = 1;

// Who wrote the key: a process id is reused, the pair of id and creation time is not.
struct StateOwner {
    uint32_t pid = 0;
    uint64_t created = 0;  // the process's creation time, 100 ns since 1601
};

struct MirroredEngine {
    EngineState engine;
    StateOwner owner;
    uint32_t written = 0;  // seconds since 1970
};

// The engine's value: version, phase, reason, 0 | since | until | pid | creation time | written.
inline constexpr size_t kEngineValueSize = 28;
// A task's value: version, flags, hold reason, 0 | hold since | hold until | launch time, result,
// exit code, duration | deferral time, code, delay, error | launch cpu ms, peak memory bytes (u64
// each) | ends at. Little-endian throughout. A value of the first size, written before the last
// three were kept, still reads (without them).
inline constexpr size_t kTaskValueSize = 64;
inline constexpr size_t kFirstTaskValueSize = 44;

std::vector<uint8_t> encodeEngine(const MirroredEngine& engine);
std::optional<MirroredEngine> decodeEngine(const std::vector<uint8_t>& data);
std::vector<uint8_t> encodeTask(const TaskState& task);
std::optional<TaskState> decodeTask(const std::vector<uint8_t>& data);

// Whether the task has anything to tell: queued, running, held, or a last launch or deferral.
bool worthTelling(const TaskState& task);

} // namespace KsState
