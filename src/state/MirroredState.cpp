// The state key, read back.
#include "state/MirroredState.h"

#include "common/ReadStatus.h"
#include "common/UniqueHandle.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"
#include "state/StateKey.h"

namespace KsState {
namespace {

bool ownerRuns(const StateOwner& owner)
{
    if (owner.pid == 0)
        return false;
    // A process that ended and whose handles are all closed cannot be opened; one that ended while
    // someone holds a handle still can, and then has an exit time.
    Keelwork::unique_handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner.pid));
    // A process this caller may not open is there: only a missing one is gone. Its start time
    // cannot be compared then, so the key is taken at its word.
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    FILETIME created, exited{}, kernel, user;
    if (!::GetProcessTimes(process.get(), &created, &exited, &kernel, &user))
        return false;
    DWORD code = 0;
    if (::GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE)
        return false;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime) == owner.created;
}

} // namespace

LONG readMirroredState(MirroredState& state)
{
    Keelwork::CRegKey key;
    LONG status = key.open(HKEY_LOCAL_MACHINE, kStateKeyPath, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
    if (Keelwork::ReadStatus::of(status).kind == Keelwork::ReadKind::absent) {
        state = MirroredState{};
        return ERROR_SUCCESS;
    }
    std::vector<Keelwork::RegValue> values;
    if (status == ERROR_SUCCESS)
        status = key.enumValues(values);
    if (status != ERROR_SUCCESS)
        return status;
    MirroredState read;
    for (const auto& value : values) {
        const bool binary = value.type == REG_BINARY;
        if (value.name == kEngineValueName) {
            const auto engine = binary ? decodeEngine(value.data) : std::nullopt;
            if (!engine) {
                KSLOG_WARNING(L"The engine's value in the state key is damaged; the state reads as absent");
                continue;
            }
            read.present = true;
            read.engine = engine->engine;
            read.ownerPid = engine->owner.pid;
            read.ownerRunning = ownerRuns(engine->owner);
            read.written = engine->written;
        } else if (auto task = binary ? decodeTask(value.data) : std::nullopt) {
            read.tasks.emplace(value.name, std::move(*task));
        } else {
            KSLOG_WARNING(L"The state of task %s in the state key is damaged and is left out", value.name.c_str());
        }
    }
    if (!read.present)
        read.tasks.clear();
    state = std::move(read);
    return ERROR_SUCCESS;
}

} // namespace KsState
