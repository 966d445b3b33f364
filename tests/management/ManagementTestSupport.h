// Shared pieces of the task-management tests: the engine's new-task event as a test sees it,
// where a task's key is, and printable test names.
#pragma once

#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "TestTask.h"
#include "common/UniqueHandle.h"
#include "engine/EngineNames.h"
#include "registry/RegKey.h"

#include <gtest/gtest.h>

#include <string>

namespace mgmttest {

// Stands in for the engine: owns the named new-task event while a test runs.
class EngineEvent {
public:
    EngineEvent() : m_event(CreateEventW(nullptr, FALSE, FALSE, Keelwork::engine::kNewTaskEvent)) { EXPECT_TRUE(m_event.valid()); }
    // Consumes a signal that arrives within the bound (a few seconds).
    bool signalled() { return WaitForSingleObject(m_event.get(), 3000) == WAIT_OBJECT_0; }
    // True if a signal is pending right now; does not wait.
    bool pending() { return WaitForSingleObject(m_event.get(), 0) == WAIT_OBJECT_0; }

private:
    Keelwork::unique_event m_event;
};

inline bool enabledKeyExists(const std::wstring& name)
{
    return Keelwork::CRegKey().open(HKEY_LOCAL_MACHINE, kstest::taskKeyPath(name.c_str()).c_str(), KEY_READ) == ERROR_SUCCESS;
}

inline bool disabledKeyExists(const std::wstring& name)
{
    return Keelwork::CRegKey().open(HKEY_LOCAL_MACHINE, kstest::taskKeyPath(name.c_str(), true).c_str(), KEY_READ) == ERROR_SUCCESS;
}

// Short printable form of a wide text for test names: ASCII kept, anything else as '?', cut
// at 40 characters.
inline std::string printable(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text.substr(0, 40))
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

// A complete, storable scheduled task in JSON form, every member a string.
inline std::wstring fullTaskPayload()
{
    return L"{\"taskType\":\"scheduled\",\"triggerType\":\"process\",\"taskTrigger\":\"C:\\\\Tools\\\\scan.exe\","
           L"\"cmdParams\":\"/quick\",\"completeEvent\":\"ScanDone\",\"nextRun\":\"1700000000\","
           L"\"defaultFreq\":\"86400\",\"batteryWise\":\"true\",\"meteredAccessWise\":\"true\","
           L"\"metroModeWise\":\"false\",\"adminWise\":\"true\",\"AMTaskExclusionWise\":\"false\","
           L"\"AMFutureTaskExclusionWise\":\"true\",\"longOverdueTaskWise\":\"false\",\"daysOfWeek\":\"246\","
           L"\"interval\":\"biweekly\",\"runInUserContext\":\"true\",\"hour\":\"13\",\"minute\":\"45\","
           L"\"priority\":\"high\",\"repeat\":\"true\",\"runWhenIdle\":\"false\",\"presetCategory\":\"Scans\","
           L"\"presetId\":\"7\",\"userName\":\"alice\",\"domainName\":\"HOME\",\"runInRetail\":\"false\","
           L"\"appId\":\"app-1\",\"ruleName\":\"nightly\",\"maxRunTime\":\"7200\",\"background\":\"true\","
           L"\"spread\":\"600\",\"enabled\":\"true\"}";
}

} // namespace mgmttest
