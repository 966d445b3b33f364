// CKsTaskManager's due rules: which tasks of a type go into the run queue and with what
// priority, when the next timed task falls due, and whether the head task waits for idle.
#include "engine/TaskManager.h"

#include "common/Clock.h"
#include "engine/QueuePriority.h"
#include "engine/SchedulerKeyValues.h"
#include "platform/PlatformProbes.h"
#include "execution/TaskExecutionNames.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"
#include "store/TaskWriteLock.h"
#include "store/CalendarLocalTime.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"

#include <algorithm>
#include <cwchar>
#include <ctime>
#include <new>

namespace Keelwork::engine {

namespace {

constexpr uint32_t kDaySeconds = 86400;
constexpr uint32_t kNoTime = 0xFFFFFFFF;
// When nothing is due in the future the engine still looks again after this long.
constexpr uint32_t kSafetyWait = 900;

bool isTimed(DWORD type)
{
    return type == KS_TASK_SCHEDULED || type == KS_TASK_CUSTOM || type == KS_TASK_PRESET;
}

bool isOccasion(DWORD type)
{
    return type == KS_TASK_REBOOT || type == KS_TASK_LOGON;
}

// The local wall-clock reading at `utc`, counted in seconds since 1970 as if it were UTC: the
// long-overdue limit is a number of days before the local time.
int64_t localWallClock(uint32_t utc)
{
    const KsCalendar::LocalTime local = KsCalendar::toLocalTime(utc);
    return local.days * kDaySeconds + local.secondOfDay;
}

std::wstring timeText(uint32_t time)
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

} // namespace

bool taskWaitsForIdle(const std::wstring& name, const KSTASKINFO& task, bool longOverdue)
{
    return readIdleWait() != 0 && !longOverdue && asksForIdle(name, task);
}

bool isLongOverdue(const KSTASKINFO& task, uint32_t now)
{
    const uint32_t days = (task.dwMeteredAccessWise & KS_LONG_OVERDUE_TASK_WISE) != 0 ? 15 : 3;
    return static_cast<int64_t>(task.dwNextRun) < localWallClock(now) - int64_t{days} * kDaySeconds;
}

bool CKsTaskManager::_OobeHoldActive(const EngineTask& task, uint32_t now, uint32_t* elapsed)
{
    if (m_bIsOobeMode == 0 || task.m_dwOobeWait == 0)
        return false;
    const uint64_t start = GetTSStartTime();
    if (start == 0)
        return false;
    *elapsed = static_cast<uint32_t>(std::min<uint64_t>(elapsedSince(start, now), 0xFFFFFFFF));
    return *elapsed < task.m_dwOobeWait;
}

void CKsTaskManager::_CountOccasion(const std::wstring& name, EngineTask& task)
{
    ++task.dwNextRun;
    // A change made through task management at the same moment must not write the old count back.
    std::lock_guard<std::mutex> storeLock(KsStore::taskWriteLock());
    CRegKey key;
    // Opens rather than creates: a task deleted meanwhile is not brought back.
    if (key.open(HKEY_LOCAL_MACHINE, CKsTask(name.c_str()).currentPath(),
                 KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        KsStore::writeProtectedDword(key, KsStore::ValueName::NextRun, task.dwNextRun) != 0)
        KSLOG_NORMAL(L"Failed to Increase NextRun for login task %s", name.c_str());
}

bool CKsTaskManager::_HeldByOobe(const std::wstring& name, EngineTask& task, DWORD type, DWORD bOutOfOobe,
                                 uint32_t now)
{
    uint32_t elapsed = 0;
    if (!_OobeHoldActive(task, now, &elapsed))
        return false;
    KSLOG_NORMAL(L"Not adding task %s to the execution Q as it is oobewait (%d/%d)", name.c_str(),
                 static_cast<int>(elapsed), static_cast<int>(task.m_dwOobeWait));
    // Occasions seen during the hold still count, so the task runs on time once it ends.
    if (task.dwTaskType == type && isOccasion(type) && bOutOfOobe == 0)
        _CountOccasion(name, task);
    const auto start = static_cast<uint32_t>(m_tsStartTime);
    const bool due = dueOrAsked(m_runNow, name, task, now);
    holdBy(name, task, due ? HoldReason::outOfBox : HoldReason::none, start, start + task.m_dwOobeWait);
    return true;
}

bool CKsTaskManager::_TimedTaskDue(const std::wstring& taskName, EngineTask& task, DWORD bAMMode,
                                   DWORD dwAMFutureWindow, uint32_t now)
{
    const wchar_t* name = taskName.c_str();
    KSLOG_NORMAL(L"Current Time: %s", timeText(now).c_str());
    KSLOG_NORMAL(L"Task %s Next-Run time: %s", name, timeText(task.dwNextRun).c_str());
    uint64_t comparison = now;
    if (bAMMode != 0) {
        if ((task.dwMeteredAccessWise & KS_AM_FUTURE_TASK_EXCLUSION_WISE) == 0) {
            KSLOG_NORMAL(L"Task %s is included from AM future task execution", name);
            comparison += dwAMFutureWindow;
        } else {
            KSLOG_NORMAL(L"Task %s is excluded from AM future task execution", name);
        }
    }
    const bool due = comparison >= task.dwNextRun;
    if (!due) {
        KSLOG_NORMAL(L"Task %s is not overdue", name);
    } else {
        if (isLongOverdue(task, now))
            task.m_bLongOverdue = 1;
        KSLOG_NORMAL(L"Task %s is OVERDUE", name);
    }
    if (bAMMode != 0) {
        if ((task.dwMeteredAccessWise & KS_AM_TASK_EXCLUSION_WISE) != 0) {
            KSLOG_NORMAL(L"Task %s is excluded from AM task execution", name);
            holdBy(taskName, task, due ? HoldReason::maintenanceExclusion : HoldReason::none, now);
            return false;
        }
        KSLOG_NORMAL(L"Task %s is included from AM task execution", name);
    }
    return due;
}

bool CKsTaskManager::_OccasionTaskDue(const std::wstring& taskName, EngineTask& task, DWORD bOutOfOobe)
{
    const wchar_t* name = taskName.c_str();
    const int count = static_cast<int>(task.dwNextRun);
    const int frequency = static_cast<int>(task.dwDefaultFreq);
    if (bOutOfOobe == 0) {
        _CountOccasion(taskName, task);
        task.m_dwOobeWait = 0;
    } else if (task.m_dwOobeWait != 0) {
        task.m_dwOobeWait = 0;
        KSLOG_NORMAL(L"This Logon/Reboot task %s is out of oobe, set its out of oobe flag, check if we need to add it "
                     L"to queue",
                     name);
    } else {
        KSLOG_NORMAL(L"This Logon/Reboot task %s's out of oobe flag has already been set, skip it", name);
        KSLOG_NORMAL(L"Logon task %s is not overdue (%d/%d)", name, count, frequency);
        return false;
    }
    const int seen = static_cast<int>(task.dwNextRun);
    if (task.dwDefaultFreq > task.dwNextRun) {
        KSLOG_NORMAL(L"Logon task %s is not overdue (%d/%d)", name, seen, frequency);
        return false;
    }
    if (task.dwTaskType == KS_TASK_REBOOT) {
        KSLOG_NORMAL(L"Reboot task %s is OVERDUE (%d/%d)", name, seen, frequency);
        return true;
    }
    if ((task.dwMeteredAccessWise & KS_ADMIN_WISE) != 0) {
        BOOL filtered = FALSE;
        bool admin = m_services.isConsoleAdmin ? m_services.isConsoleAdmin(&filtered)
                                               : KsIsActiveSessionNTAdmin(&filtered);
        // An administrator whose rights are filtered still counts; only a plain user is refused.
        if (!admin && !filtered) {
            KSLOG_NORMAL(L"Logon task %s is Overdue (%d/%d), but Windows administrator required", name, seen,
                         frequency);
            return false;
        }
    }
    KSLOG_NORMAL(L"Logon task %s is OVERDUE (%d/%d)", name, seen, frequency);
    return true;
}

DWORD CKsTaskManager::_Enqueue(const std::wstring& name, const EngineTask& task)
{
    if (m_queue.contains(name)) {
        KSLOG_NORMAL(L"Not adding task %s to the execution Q as it already exists", name.c_str());
        return 0;
    }
    std::unique_ptr<QueueItem> item(new (std::nothrow) QueueItem);
    if (!item)
        return ERROR_NOT_ENOUGH_MEMORY;
    item->name = name;
    item->priority = queuePriority(name.c_str(), task, task.m_bLongOverdue != 0);
    KSLOG_INFO(L"Adding task %s to the Q with priority %d", name.c_str(), static_cast<int>(item->priority));
    m_queue.push(std::move(item));
    if (m_board)
        m_board->changeTask(name, [](TaskState& state) { state.queued = true; });
    return 0;
}

void CKsTaskManager::holdBy(const std::wstring& name, EngineTask& task, HoldReason reason, uint32_t since,
                            uint32_t until)
{
    if (!m_board || (reason == HoldReason::none && task.m_builderHold == HoldReason::none))
        return;
    const HoldReason told = task.m_builderHold;
    task.m_builderHold = reason;
    m_board->changeTask(name, [&](TaskState& state) {
        if (reason == HoldReason::none) {
            if (state.hold.reason == told)
                state.hold = TaskHold{};
        } else if (state.hold.reason != reason) {
            state.hold = TaskHold{reason, since != 0 ? since : Clock::current().now(), until};
        } else {
            state.hold.until = until;
        }
    });
}

void CKsTaskManager::Hold(const std::wstring& name, const TaskHold& hold)
{
    if (m_board)
        m_board->changeTask(name, [&](TaskState& state) { state.hold = hold; });
}

void CKsTaskManager::EndBatch()
{
    if (!m_board)
        return;
    m_board->endBatch();
    for (auto& [name, task] : m_tasks) {
        if (task->m_builderHold == HoldReason::maintenanceExclusion)
            task->m_builderHold = HoldReason::none;
    }
}

void CKsTaskManager::readRetryTime(const std::wstring& name, EngineTask& task)
{
    task.m_dwRetryAt = 0;
    if (!isOccasion(task.dwTaskType))
        return;
    CRegKey key;
    uint32_t value = 0;
    if (key.open(HKEY_LOCAL_MACHINE, CKsTask(name.c_str()).currentPath(), KEY_QUERY_VALUE | KEY_WOW64_64KEY) ==
            ERROR_SUCCESS &&
        KsStore::readProtectedDword(key, KsStore::ValueName::LogonNextRun, value) == 0)
        task.m_dwRetryAt = value;
}

// A logon or boot task deferred at its occasion (on battery, on a metered connection) is tried
// again once the deferral's delay is over, as its deferral report announced, rather than only at
// the next log-on or boot.
DWORD CKsTaskManager::AddDeferredOccasionsToQ()
{
    const uint32_t now = Clock::current().now();
    for (auto& [name, task] : m_tasks) {
        if (!task || !isOccasion(task->dwTaskType) || task->m_dwRetryAt == 0 || task->m_dwRetryAt > now)
            continue;
        uint32_t elapsed = 0;
        if (_OobeHoldActive(*task, now, &elapsed) ||
            (!IsTaskAllowedInRetailMode(name) && m_services.retailDemo->isRetailDemoMode()))
            continue;
        KSLOG_NORMAL(L"Task %s is due again after its deferral", name.c_str());
        if (_Enqueue(name, *task) != 0)
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    return 0;
}

DWORD CKsTaskManager::_AddToQ(DWORD type, DWORD bOutOfOobe, DWORD bAMMode, DWORD dwAMFutureWindow)
{
    const uint32_t now = Clock::current().now();
    KSLOG_NORMAL(L"Adding tasks of type %d to the Q (if type is scheduled they will only be added if they are overdue)",
                 static_cast<int>(type));
    if (isTimed(type))
        m_lastTimedQueueBuild = now;
    if (m_tasks.empty()) {
        KSLOG_NORMAL(L"Our internal task list of empty. Nothing to add to the Q");
        return 0;
    }
    for (auto& [name, task] : m_tasks) {
        if (!task)
            continue;
        task->m_bDirty = 0;
        KSLOG_NORMAL(L"Processing task %s", name.c_str());
        // The list first: the probe may reach the Windows Runtime, so only listed tasks ask it.
        if (!IsTaskAllowedInRetailMode(name) && m_services.retailDemo->isRetailDemoMode()) {
            KSLOG_NORMAL(L"The Task is disabled in the retail mode");
            holdBy(name, *task, dueOrAsked(m_runNow, name, *task, now) ? HoldReason::retailDemo : HoldReason::none);
            continue;
        }
        if (_HeldByOobe(name, *task, type, bOutOfOobe, now))
            continue;
        if (task->m_builderHold != HoldReason::maintenanceExclusion || bAMMode == 0)
            holdBy(name, *task, HoldReason::none);
        if (task->dwTaskType != type)
            continue;
        bool due = true;
        if (isTimed(type))
            due = _TimedTaskDue(name, *task, bAMMode, dwAMFutureWindow, now);
        else if (isOccasion(type))
            due = _OccasionTaskDue(name, *task, bOutOfOobe);
        if (due && _Enqueue(name, *task) != 0)
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    return 0;
}

uint32_t CKsTaskManager::FindMinNextRunTime()
{
    if (m_tasks.empty())
        return kNoTime;
    const uint32_t now = Clock::current().now();
    KSLOG_NORMAL(L"Trying to find the earliest next-run time of all scheduled type tasks");
    // A task that fell due between the last queue build and now was not queued by that build;
    // taking only later times would leave it until the next task or the safety wait.
    const uint32_t after = m_lastTimedQueueBuild != 0 && m_lastTimedQueueBuild < now ? m_lastTimedQueueBuild : now;
    uint32_t earliest = kNoTime;
    for (const auto& [name, task] : m_tasks) {
        if (!task)
            continue;
        uint32_t elapsed = 0;
        uint64_t candidate = kNoTime;
        if (_OobeHoldActive(*task, now, &elapsed)) {
            // The hold's end, or sooner when a timed task falls due within it: from then on it is held.
            const bool fallsDue = isTimed(task->dwTaskType) && task->dwNextRun > after;
            candidate = std::min<uint64_t>(m_tsStartTime + task->m_dwOobeWait, fallsDue ? task->dwNextRun : kNoTime);
        } else if (isTimed(task->dwTaskType))
            candidate = task->dwNextRun;
        else if (task->m_dwRetryAt != 0)
            candidate = task->m_dwRetryAt;  // a deferred logon or boot task's retry
        else
            continue;
        if (candidate < earliest && candidate > after)
            earliest = static_cast<uint32_t>(candidate);
    }
    if (earliest == kNoTime) {
        KSLOG_INFO(L"All tasks are overdue, we return a 15 minutes time for safety");
        earliest = now + kSafetyWait;
    }
    KSLOG_NORMAL(L"The earliest next-run time is %s", timeText(earliest).c_str());
    return earliest;
}

bool CKsTaskManager::ShouldTopTaskWaitForIdle()
{
    if (readIdleWait() == 0) {
        KSLOG_NORMAL(L"Idle wait master not set,We will not wait for idle mode ");
        return false;
    }
    KSLOG_NORMAL(L"Idle wait master set,default behaviour continue");
    const QueueItem* head = m_queue.top();
    if (head == nullptr)
        return false;
    const wchar_t* name = head->name.c_str();
    KSLOG_NORMAL(L"Checking if task %s should wait for machine to be idle", name);
    auto found = m_tasks.find(head->name);
    if (found == m_tasks.end() || !found->second) {
        KSLOG_ERROR(L"Somehow could not find this task in our internal task map. Cannot execute");
        return false;
    }
    const EngineTask& task = *found->second;
    if (task.m_bLongOverdue != 0) {
        KSLOG_INFO(L"This task %s we ignore idle mode", name);
        return false;
    }
    KSLOG_NORMAL(L"This task %s we do not ignore idle mode", name);
    if (asksForIdle(head->name, task)) {
        KSLOG_NORMAL(L"Task %s is going to WAIT for machine to be idle.", name);
        return true;
    }
    KSLOG_NORMAL(L"Task %s is NOT WAITING for machine to be idle. Will run immediately", name);
    return false;
}

} // namespace Keelwork::engine
