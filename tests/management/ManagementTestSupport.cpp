// Shared pieces of the task-management tests.
#include "ManagementTestSupport.h"

#include "management/ManagementNames.h"
#include "registry/RegKey.h"
#include "store/KsTaskInfo.h"
#include "store/ProtectedValue.h"

#include <gtest/gtest.h>

namespace mgmttest {

namespace {
constexpr DWORD kSignalBoundMs = 3000;

std::wstring taskPath(const std::wstring& name, bool disabledParent)
{
    return std::wstring(disabledParent ? KsStore::kSchedulerDisabledKeyPath : KsStore::kSchedulerKeyPath) + L"\\" + name;
}
} // namespace

EngineEvent::EngineEvent() : m_event(CreateEventW(nullptr, FALSE, FALSE, Orbis::Names::kNewTaskEvent))
{
    EXPECT_TRUE(m_event.valid());
}

bool EngineEvent::signalled()
{
    return WaitForSingleObject(m_event.get(), kSignalBoundMs) == WAIT_OBJECT_0;
}

bool EngineEvent::pending()
{
    return WaitForSingleObject(m_event.get(), 0) == WAIT_OBJECT_0;
}

bool enabledKeyExists(const std::wstring& name)
{
    return Keelwork::CRegKey().open(HKEY_LOCAL_MACHINE, taskPath(name, false).c_str(), KEY_READ) == ERROR_SUCCESS;
}

bool disabledKeyExists(const std::wstring& name)
{
    return Keelwork::CRegKey().open(HKEY_LOCAL_MACHINE, taskPath(name, true).c_str(), KEY_READ) == ERROR_SUCCESS;
}

long long taskDword(const std::wstring& name, const wchar_t* value, bool disabledParent)
{
    Keelwork::CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, taskPath(name, disabledParent).c_str(), KEY_READ) != ERROR_SUCCESS)
        return -1;
    uint32_t data = 0;
    if (KsStore::readProtectedDword(key, value, data) != ERROR_SUCCESS)
        return -1;
    return data;
}

std::string printable(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text.substr(0, 40))
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

std::wstring fullTaskPayload()
{
    return L"{\"taskType\":\"scheduled\",\"triggerType\":\"process\",\"taskTrigger\":\"C:\\\\Tools\\\\scan.exe\","
           L"\"cmdParams\":\"/quick\",\"completeEvent\":\"ScanDone\",\"nextRun\":\"1700000000\","
           L"\"defaultFreq\":\"86400\",\"batteryWise\":\"true\",\"meteredAccessWise\":\"true\","
           L"\"metroModeWise\":\"false\",\"adminWise\":\"true\",\"AMTaskExclusionWise\":\"false\","
           L"\"AMFutureTaskExclusionWise\":\"true\",\"longOverdueTaskWise\":\"false\",\"daysOfWeek\":\"246\","
           L"\"interval\":\"biweekly\",\"runInUserContext\":\"true\",\"hour\":\"13\",\"minute\":\"45\","
           L"\"priority\":\"high\",\"repeat\":\"true\",\"runWhenIdle\":\"false\",\"presetCategory\":\"Scans\","
           L"\"presetId\":\"7\",\"userName\":\"alice\",\"domainName\":\"HOME\",\"runInRetail\":\"false\","
           L"\"appId\":\"app-1\",\"ruleName\":\"nightly\",\"enabled\":\"true\"}";
}

} // namespace mgmttest
