// The due rules: whether a task of the list is due now by its schedule or its occasions, and
// whether a task waits for an idle user.
#include "engine/DueRules.h"

#include "engine/SchedulerKeyValues.h"
#include "execution/TaskExecutionNames.h"
#include "logging/LogAs.h"
#include "platform/PlatformProbes.h"
#include "registry/RegKey.h"
#include "store/CalendarLocalTime.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"
#include "store/TaskMemory.h"
#include "store/TaskWriteLock.h"

#include <cwchar>
#include <ctime>
#include <mutex>

namespace Keelwork::engine {
namespace {

constexpr uint32_t kDaySeconds = 86400;

// The local wall-clock reading at `utc`, counted in seconds since 1970 as if it were UTC: the
// long-overdue limit is a number of days before the local time.
int64_t localWallClock(uint32_t utc)
{
    const KsCalendar::LocalTime local = KsCalendar::toLocalTime(utc);
    return local.days * kDaySeconds + local.secondOfDay;
}

} // namespace

std::wstring utcTimeText(uint32_t time)
{
    std::time_t t = time;
    std::tm utc{};
    wchar_t text[32] = L"?";
    if (gmtime_s(&utc, &t) == 0)
        std::wcsftime(text, sizeof text / sizeof text[0], L"%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

// The update and on-demand scan tasks always ask for an idle user; other tasks say so.
bool asksForIdle(const std::wstring& name, const KSTASKINFO& task)
{
    return name == KsExecution::names::kUpdateTask || name == KsExecution::names::kOnDemandScanTask ||
           task.dwRunWhenIdle != 0;
}

// Whether the task is due by its own rule (next run come, occasions counted) or asked to run now:
// a hold keeps a due task from the queue, so a task that is not due is never held.
bool dueOrAsked(const std::set<std::wstring>& asked, const std::wstring& name, const EngineTask& task, uint32_t now)
{
    if (asked.count(name) != 0)
        return true;
    if (isTimed(task.dwTaskType))
        return task.dwNextRun <= now;
    return isOccasion(task.dwTaskType) && task.dwDefaultFreq <= task.dwNextRun;
}

bool taskWaitsForIdle(const std::wstring& name, const KSTASKINFO& task, bool longOverdue)
{
    return readIdleWait() != 0 && !longOverdue && asksForIdle(name, task);
}

bool isLongOverdue(const KSTASKINFO& task, uint32_t now)
{
    const uint32_t days = (task.dwMeteredAccessWise & KS_LONG_OVERDUE_TASK_WISE) != 0 ? 15 : 3;
    return static_cast<int64_t>(task.dwNextRun) < localWallClock(now) - int64_t{days} * kDaySeconds;
}

void DueRules::countOccasion(const std::wstring& name, EngineTask& task)
{
    ++task.dwNextRun;
    // A change made through task management at the same moment must not write the old count back.
    std::lock_guard<std::mutex> storeLock(KsStore::taskWriteLock());
    const KsStore::TaskMemory::ChangeNote note(name);
    CRegKey key;
    // Opens rather than creates: a task deleted meanwhile is not brought back.
    if (key.open(HKEY_LOCAL_MACHINE, CKsTask(name.c_str()).currentPath(),
                 KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        KsStore::writeProtectedDword(key, KsStore::ValueName::NextRun, task.dwNextRun) != 0)
        KSLOG_NORMAL_AS("CKsTaskManager::_CountOccasion", L"Failed to Increase NextRun for login task %s",
                        name.c_str());
}

TimedVerdict DueRules::timedTaskDue(const std::wstring& taskName, EngineTask& task, DWORD bAMMode,
                                   DWORD dwAMFutureWindow, uint32_t now)
{
    const wchar_t* name = taskName.c_str();
    KSLOG_NORMAL_AS("CKsTaskManager::_TimedTaskDue", L"Current Time: %s", utcTimeText(now).c_str());
    KSLOG_NORMAL_AS("CKsTaskManager::_TimedTaskDue", L"Task %s Next-Run time: %s", name,
                    utcTimeText(task.dwNextRun).c_str());
    uint64_t comparison = now;
    if (bAMMode != 0) {
        if ((task.dwMeteredAccessWise & KS_AM_FUTURE_TASK_EXCLUSION_WISE) == 0) {
            KSLOG_NORMAL_AS("CKsTaskManager::_TimedTaskDue", L"Task %s is included from AM future task execution",
                            name);
            comparison += dwAMFutureWindow;
        } else {
            KSLOG_NORMAL_AS("CKsTaskManager::_TimedTaskDue", L"Task %s is excluded from AM future task execution",
                            name);
        }
    }
    const bool due = comparison >= task.dwNextRun;
    if (!due) {
        KSLOG_NORMAL_AS("CKsTaskManager::_TimedTaskDue", L"Task %s is not overdue", name);
    } else {
        if (isLongOverdue(task, now))
            task.m_bLongOverdue = true;
        KSLOG_NORMAL_AS("CKsTaskManager::_TimedTaskDue", L"Task %s is OVERDUE", name);
    }
    if (bAMMode != 0) {
        if ((task.dwMeteredAccessWise & KS_AM_TASK_EXCLUSION_WISE) != 0) {
            KSLOG_NORMAL_AS("CKsTaskManager::_TimedTaskDue", L"Task %s is excluded from AM task execution", name);
            return {due, true};
        }
        KSLOG_NORMAL_AS("CKsTaskManager::_TimedTaskDue", L"Task %s is included from AM task execution", name);
    }
    return {due, false};
}

bool DueRules::occasionTaskDue(const std::wstring& taskName, EngineTask& task, DWORD bOutOfOobe)
{
    const wchar_t* name = taskName.c_str();
    const int count = static_cast<int>(task.dwNextRun);
    const int frequency = static_cast<int>(task.dwDefaultFreq);
    if (bOutOfOobe == 0) {
        countOccasion(taskName, task);
        task.m_dwOobeWait = 0;
    } else if (task.m_dwOobeWait != 0) {
        task.m_dwOobeWait = 0;
        KSLOG_NORMAL_AS(
            "CKsTaskManager::_OccasionTaskDue",
            L"This Logon/Reboot task %s is out of oobe, set its out of oobe flag, check if we need to add it "
            L"to queue",
            name);
    } else {
        KSLOG_NORMAL_AS("CKsTaskManager::_OccasionTaskDue",
                        L"This Logon/Reboot task %s's out of oobe flag has already been set, skip it", name);
        KSLOG_NORMAL_AS("CKsTaskManager::_OccasionTaskDue", L"Logon task %s is not overdue (%d/%d)", name, count,
                        frequency);
        return false;
    }
    const int seen = static_cast<int>(task.dwNextRun);
    if (task.dwDefaultFreq > task.dwNextRun) {
        KSLOG_NORMAL_AS("CKsTaskManager::_OccasionTaskDue", L"Logon task %s is not overdue (%d/%d)", name, seen,
                        frequency);
        return false;
    }
    if (task.dwTaskType == KS_TASK_REBOOT) {
        KSLOG_NORMAL_AS("CKsTaskManager::_OccasionTaskDue", L"Reboot task %s is OVERDUE (%d/%d)", name, seen,
                        frequency);
        return true;
    }
    if ((task.dwMeteredAccessWise & KS_ADMIN_WISE) != 0) {
        BOOL filtered = FALSE;
        bool admin = m_isConsoleAdmin ? m_isConsoleAdmin(&filtered)
                                               : KsIsActiveSessionNTAdmin(&filtered);
        // An administrator whose rights are filtered still counts; only a plain user is refused.
        if (!admin && !filtered) {
            KSLOG_NORMAL_AS("CKsTaskManager::_OccasionTaskDue",
                            L"Logon task %s is Overdue (%d/%d), but Windows administrator required", name, seen,
                            frequency);
            return false;
        }
    }
    KSLOG_NORMAL_AS("CKsTaskManager::_OccasionTaskDue", L"Logon task %s is OVERDUE (%d/%d)", name, seen, frequency);
    return true;
}

} // namespace Keelwork::engine
