// Shared pieces of the task-management tests: the engine's new-task event as a test sees it,
// registry probes of the task store, and log-line lookup.
#pragma once

#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "common/UniqueHandle.h"

#include <string>

namespace mgmttest {

// Stands in for the engine: owns the named new-task event while a test runs.
class EngineEvent {
public:
    EngineEvent();
    // Consumes a signal that arrives within the bound (a few seconds).
    bool signalled();
    // True if a signal is pending right now; does not wait.
    bool pending();

private:
    Keelwork::unique_event m_event;
};

bool enabledKeyExists(const std::wstring& name);
bool disabledKeyExists(const std::wstring& name);
// A DWORD value of the task's key under the given parent; -1 when it cannot be read.
long long taskDword(const std::wstring& name, const wchar_t* value, bool disabledParent = false);

// Short printable form of a wide text for test names: ASCII kept, anything else as '?', cut
// at 40 characters.
std::string printable(const std::wstring& text);

// A complete, storable scheduled task in JSON form, every member a string.
std::wstring fullTaskPayload();

} // namespace mgmttest
