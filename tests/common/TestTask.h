// A task as a test stores it: named fields whose defaults make an hourly task running
// sample-task.exe (beside the test program) that exits at once, due ten seconds ago by the clock
// in force. storeTask writes it through the store, as task management does.
#pragma once

#include "ProgramFolder.h"
#include "common/Clock.h"
#include "registry/RegKey.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kstest {

struct TestTask {
    std::wstring name = L"job";
    uint32_t type = KS_TASK_SCHEDULED;
    uint32_t trigType = KS_TRIGGER_PROCESS;
    std::wstring trigger = sampleTaskPath();  // the program, or the event an event task sets
    std::wstring params = L"--exit 0";
    std::wstring completeEvent = L"";  // empty: the run ends when the program does
    // A time for timed tasks, an occasion count for log-on and boot tasks; none: due 10 s ago.
    std::optional<uint32_t> nextRun = std::nullopt;
    uint32_t freq = 3600;  // the period, or the occasions to wait
    uint32_t batteryWise = 0;
    uint32_t wise = 0;  // KS_*_WISE flags
    uint32_t repeat = 0;
    uint32_t runWhenIdle = 0;
    int32_t priority = KS_PRIORITY_DEFAULT;
    uint32_t interval = KS_INTERVAL_NONE;
    uint32_t dayOfWeekMask = 0;
    uint32_t hour = 0;
    uint32_t minute = 0;
    uint32_t background = 0;
    uint32_t maxRunTime = 0;
};

inline void storeTask(const TestTask& task)
{
    KSTASKINFO_LANE record = {};
    record.dwSize = sizeof record;
    record.dwBackground = task.background;
    record.dwMaxRunTime = task.maxRunTime;
    record.dwTaskType = task.type;
    record.dwTaskTrigType = task.trigType;
    record.pwszTaskTrigger = const_cast<wchar_t*>(task.trigger.c_str());
    record.pwszTaskParams = const_cast<wchar_t*>(task.params.c_str());
    record.pwszTaskEventName = task.completeEvent.empty() ? nullptr : const_cast<wchar_t*>(task.completeEvent.c_str());
    record.dwNextRun = task.nextRun.value_or(Keelwork::Clock::current().now() - 10);
    record.dwDefaultFreq = task.freq;
    record.dwBatteryWise = task.batteryWise;
    record.dwMeteredAccessWise = task.wise;
    record.dwRepeatTask = task.repeat;
    record.dwRunWhenIdle = task.runWhenIdle;
    record.nPriority = task.priority;
    record.dwInterval = task.interval;
    record.dwDayOfWeekMask = task.dayOfWeekMask;
    record.dwHour = task.hour;
    record.dwMinute = task.minute;
    CKsTask stored(task.name.c_str());
    ASSERT_EQ(stored.Assign(&record), 0u) << "refused: " << testing::PrintToString(task.name);
    ASSERT_TRUE(stored.Write()) << "not written: " << testing::PrintToString(task.name);
}

// A name for an event a task's program sets or its trigger is, unique to this test program: the
// system's kernel-object names are global to one Wine server.
inline std::wstring uniqueEventName(const wchar_t* base)
{
    return std::wstring(L"Global\\") + base + std::to_wstring(::GetCurrentProcessId());
}

// The stored "NextRun" of the task; 0 when it cannot be read.
inline uint32_t storedNextRun(const wchar_t* name)
{
    CKsTask task(name);
    return task.Read() ? task.dwNextRun : 0;
}

inline std::wstring taskKeyPath(const wchar_t* name, bool disabled = false)
{
    return std::wstring(disabled ? KsStore::kSchedulerDisabledKeyPath : KsStore::kSchedulerKeyPath) + L"\\" + name;
}

// A protected number under the task's key, as the engine, the launch and task management keep
// them; 0xDEAD0000 with the read error in its low bits when it cannot be read.
inline uint32_t storedDword(const wchar_t* task, const wchar_t* value, bool disabled = false)
{
    Keelwork::CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, taskKeyPath(task, disabled).c_str(), KEY_READ | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return 0xDEAD0000;
    uint32_t number = 0;
    const uint32_t rc = KsStore::readProtectedDword(key, value, number);
    return rc == 0 ? number : 0xDEAD0000 | rc;
}

inline void setStoredDword(const wchar_t* task, const wchar_t* value, uint32_t number)
{
    Keelwork::CRegKey key;
    ASSERT_EQ(key.open(HKEY_LOCAL_MACHINE, taskKeyPath(task).c_str(), KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
    ASSERT_EQ(KsStore::writeProtectedDword(key, value, number), 0u);
}

} // namespace kstest
