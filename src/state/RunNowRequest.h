// Asking the running engine, from outside its process, to run a task now.
//
// The bus reaches only modules inside the host's process, so a tool leaves the task's name as a
// value of a key only SYSTEM and administrators may write (the key's descriptor is the request's
// authority), then sets a named event the engine waits on. The engine takes every name it finds
// and treats each task as due now, as a RunNow request on the bus does. A name asked for twice
// before the engine looks is one request: the task runs once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KsState {

inline constexpr const wchar_t* kRunNowKeyPath = L"SOFTWARE\\Kestrel\\Platform\\SchedulerRequests";
// Created by the engine for its life: its absence says no engine runs.
inline constexpr const wchar_t* kRunNowEvent = L"Global\\ZARN_{6B0F2D51-9C3E-4E0A-8F47-2A1D5C7E9B36}";

enum class RunNowRequest {
    requested,      // the name is left and the engine woken
    noEngine,       // no engine runs: nothing is left
    registryError,  // the key could not be written (*error says why)
};

// Any process run by an administrator.
RunNowRequest requestRunNow(const std::wstring& name, uint32_t* error = nullptr);

// The engine thread: the names asked for since it last looked, each once; the values are removed.
std::vector<std::wstring> takeRunNowRequests();

} // namespace KsState
