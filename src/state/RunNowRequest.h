// Asking the running engine, from outside its process, to run a task now, and hearing its answer.
//
// The bus reaches only modules inside the host's process, so a tool leaves the task's name as a
// value of a volatile key only SYSTEM and administrators may write (the key's descriptor is the
// request's authority), stamped with the moment it was written, then sets a named event. The
// engine's listener takes every name it finds, hands each to the engine as a RunNow request on
// the bus is handed, and answers in the key's "Answers" sub-key under the same name, stamped with
// the moment of the answer: a tool takes the first answer stamped at or after its own request.
//
// One value per name: a name asked for twice before the engine looks is one request (the task runs
// once), and the key holds at most one request per task. The engine makes the key afresh, volatile,
// at its start, so nothing written before it (or before the machine started) is ever taken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KsState {

inline constexpr const wchar_t* kRunNowKeyPath = L"SOFTWARE\\Kestrel\\Platform\\SchedulerRequests";
inline constexpr const wchar_t* kRunNowAnswersKeyPath = L"SOFTWARE\\Kestrel\\Platform\\SchedulerRequests\\Answers";
// Created by the engine for its life: its absence says no engine runs.
inline constexpr const wchar_t* kRunNowEvent = L"Global\\ZARN_{6B0F2D51-9C3E-4E0A-8F47-2A1D5C7E9B36}";

// What became of a run-now request: the engine's answer, or why there is none.
enum class RunNowOutcome : uint32_t {
    asked = 1,          // the engine treats the task as due at its next step (or runs it now)
    noEngine = 2,       // no engine runs to ask
    noAnswer = 3,       // the engine did not answer within the bound; the request was withdrawn
    registryError = 4,  // the request could not be written
    denied = 5,         // the engine runs, but this caller may not open its event or its keys
};

// Any process run by an administrator: leaves the request, wakes the engine and waits at most
// `boundMs` for its answer.
RunNowOutcome askEngineToRunNow(const std::wstring& name, uint32_t boundMs = 10000);

// The engine's side; its listener thread only.
struct TakenRunNowRequest {
    std::wstring name;
    uint64_t writtenAt = 0;  // FILETIME units
};

// Deletes whatever the key holds and makes it afresh, volatile and writable by SYSTEM and
// administrators only, with its answers sub-key. A registry error code, or 0.
long prepareRunNowKeys();
// The requests written since the listener last looked, each name once; their values are removed.
std::vector<TakenRunNowRequest> takeRunNowRequests();
// Answers the request for `name`; answers older than a minute go, so the key stays as small as
// the set of tasks asked for lately.
void answerRunNowRequest(const std::wstring& name, RunNowOutcome outcome);

// The system time in FILETIME units, the stamps' unit.
uint64_t runNowStampNow();

} // namespace KsState
