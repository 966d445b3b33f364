// The engine's board, mirrored into the state key.
#include "state/StateMirror.h"

#include "common/Clock.h"
#include "logging/internal_logging.h"

#include <new>

namespace KsState {

namespace {
constexpr REGSAM kAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY;
} // namespace

StateOwner currentStateOwner()
{
    FILETIME created{}, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    return StateOwner{::GetCurrentProcessId(),
                      static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime};
}

StateMirror::StateMirror() : m_owner(currentStateOwner()) {}

void StateMirror::follow(const EngineStateBoard& board)
{
    const uint64_t changes = board.changeCount();
    if (m_mirrored == changes)
        return;
    LONG status = ERROR_NOT_ENOUGH_MEMORY;
    try {
        auto [engine, tasks] = board.readAll();
        status = write(engine, tasks);
    } catch (const std::bad_alloc&) {
        m_key.close();  // what it holds may be half known
    }
    if (status == ERROR_SUCCESS) {
        m_mirrored = changes;
        m_warned = false;
        return;
    }
    if (!m_warned)
        KSLOG_WARNING(L"The engine's state could not be written to the registry key %s, error %ld; the engine runs on",
                      kStateKeyPath, status);
    m_warned = true;
}

LONG StateMirror::open()
{
    // A key left by an earlier owner in this boot (a host that was killed) is taken over: the
    // values it holds are read, so those of tasks this owner does not tell are removed.
    LONG status = m_key.createSystemOnly(HKEY_LOCAL_MACHINE, kStateKeyPath, kAccess, nullptr, REG_OPTION_VOLATILE);
    std::vector<Keelwork::RegValue> values;
    if (status == ERROR_SUCCESS)
        status = m_key.enumValues(values);
    if (status != ERROR_SUCCESS) {
        m_key.close();
        return status;
    }
    m_held.clear();
    for (auto& value : values)
        m_held[value.name] = value.type == REG_BINARY ? std::move(value.data) : std::vector<uint8_t>{};
    return ERROR_SUCCESS;
}

LONG StateMirror::put(const std::wstring& name, std::vector<uint8_t> data, unsigned& touched)
{
    auto held = m_held.find(name);
    if (held != m_held.end() && held->second == data)
        return ERROR_SUCCESS;
    const LONG status = m_key.setBinaryValue(name.c_str(), data.data(), static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS)
        return status;
    m_held[name] = std::move(data);
    ++touched;
    return ERROR_SUCCESS;
}

LONG StateMirror::write(const EngineState& engine, const std::map<std::wstring, TaskState>& tasks, unsigned* touched)
{
    unsigned count = 0;
    LONG status = m_key.isOpen() ? ERROR_SUCCESS : open();
    for (auto held = m_held.begin(); status == ERROR_SUCCESS && held != m_held.end();) {
        const auto task = held->first.empty() ? tasks.end() : tasks.find(held->first);
        if (held->first.empty() || (task != tasks.end() && worthTelling(task->second))) {
            ++held;
            continue;
        }
        status = m_key.deleteValue(held->first.c_str());
        if (status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
        if (status == ERROR_SUCCESS) {
            held = m_held.erase(held);
            ++count;
        }
    }
    for (auto task = tasks.begin(); status == ERROR_SUCCESS && task != tasks.end(); ++task) {
        if (!task->first.empty() && worthTelling(task->second))
            status = put(task->first, encodeTask(task->second), count);
    }
    if (status == ERROR_SUCCESS)
        status = put(kEngineValueName, encodeEngine({engine, m_owner, Keelwork::Clock::current().now()}), count);
    if (status != ERROR_SUCCESS)
        m_key.close();  // opened afresh next time: the key may have been deleted under us
    if (touched)
        *touched = count;
    return status;
}

} // namespace KsState
