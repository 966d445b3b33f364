// CKsTaskManager's queue builder: which tasks of a type go into the run queue (as the due rules
// say) and with what priority, when the next timed task falls due, and whether the head task
// waits for idle.
#include "engine/TaskManager.h"

#include "common/Clock.h"
#include "engine/QueuePriority.h"
#include "engine/SchedulerKeyValues.h"
#include "logging/internal_logging.h"

#include <algorithm>
#include <new>

namespace Keelwork::engine {

namespace {

constexpr uint32_t kNoTime = 0xFFFFFFFF;
// When nothing is due in the future the engine still looks again after this long.
constexpr uint32_t kSafetyWait = 900;

} // namespace

bool CKsTaskManager::oobeHoldActive(const EngineTask& task, uint32_t now, uint32_t* elapsed)
{
    if (m_bIsOobeMode == 0 || task.m_dwOobeWait == 0)
        return false;
    const uint64_t start = GetTSStartTime();
    if (start == 0)
        return false;
    *elapsed = static_cast<uint32_t>(std::min<uint64_t>(elapsedSince(start, now), 0xFFFFFFFF));
    return *elapsed < task.m_dwOobeWait;
}

bool CKsTaskManager::heldByOobe(const std::wstring& name, EngineTask& task, DWORD type, DWORD bOutOfOobe,
                                 uint32_t now)
{
    uint32_t elapsed = 0;
    if (!oobeHoldActive(task, now, &elapsed))
        return false;
    KSLOG_NORMAL(L"Not adding task %s to the execution Q as it is oobewait (%d/%d)", name.c_str(),
                 static_cast<int>(elapsed), static_cast<int>(task.m_dwOobeWait));
    // Occasions seen during the hold still count, so the task runs on time once it ends.
    if (task.dwTaskType == type && isOccasion(type) && bOutOfOobe == 0)
        DueRules::countOccasion(name, task);
    const auto start = static_cast<uint32_t>(m_tsStartTime);
    const bool due = dueOrAsked(m_runNow, name, task, now);
    holdBy(name, task, due ? HoldReason::outOfBox : HoldReason::none, start, start + task.m_dwOobeWait);
    return true;
}

DWORD CKsTaskManager::enqueue(const std::wstring& name, const EngineTask& task)
{
    if (m_queue.contains(name)) {
        KSLOG_NORMAL(L"Not adding task %s to the execution Q as it already exists", name.c_str());
        return 0;
    }
    std::unique_ptr<QueueItem> item(new (std::nothrow) QueueItem);
    if (!item)
        return ERROR_NOT_ENOUGH_MEMORY;
    item->name = name;
    item->priority = queuePriority(name.c_str(), task, task.m_bLongOverdue);
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
    if (reason != HoldReason::none) {
        m_builderHeld.insert(name);
        m_list.marked(name);
    }
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
    // A queued name whose task has left the list (disabled or deleted since it was queued) still
    // waits at the head, but it will never be launched: no answer may call that task held.
    if (m_board && (hold.reason == HoldReason::none || m_list.tasks().count(name) != 0))
        m_board->changeTask(name, [&](TaskState& state) { state.hold = hold; });
}

void CKsTaskManager::EndBatch()
{
    if (!m_board)
        return;
    m_board->endBatch();
    for (auto held = m_builderHeld.begin(); held != m_builderHeld.end();) {
        auto found = m_list.tasks().find(*held);
        EngineTask* task = found != m_list.tasks().end() ? found->second.get() : nullptr;
        if (task && task->m_builderHold == HoldReason::maintenanceExclusion)
            task->m_builderHold = HoldReason::none;
        held = task && task->m_builderHold != HoldReason::none ? std::next(held) : m_builderHeld.erase(held);
    }
}

// A logon or boot task deferred at its occasion (on battery, on a metered connection) is tried
// again once the deferral's delay is over, as its deferral report announced, rather than only at
// the next log-on or boot.
DWORD CKsTaskManager::AddDeferredOccasionsToQ()
{
    const uint32_t now = Clock::current().now();
    for (const std::wstring& name : m_list.due().occasions()) {
        auto found = m_list.tasks().find(name);
        EngineTask* task = found != m_list.tasks().end() ? found->second.get() : nullptr;
        if (!task || task->m_dwRetryAt == 0 || task->m_dwRetryAt > now)
            continue;
        uint32_t elapsed = 0;
        if (oobeHoldActive(*task, now, &elapsed) ||
            (!IsTaskAllowedInRetailMode(name) && m_services.retailDemo->isRetailDemoMode()))
            continue;
        KSLOG_NORMAL(L"Task %s is due again after its deferral", name.c_str());
        if (enqueue(name, *task) != 0)
            return ERROR_NOT_ENOUGH_MEMORY;
    }
    return 0;
}

bool CKsTaskManager::visitsEveryTask()
{
    // Every task is looked at while the lines about each are written (they name every task) and
    // while the out-of-box holds last: the due index knows neither. A log-on or boot build needs
    // only the occasion tasks (the index names them all) and those a timed build would visit,
    // whose holds it settles the same way.
    const bool logsEach = m_services.logsEachTask ? m_services.logsEachTask()
                                                  : ETWLogging::isLogEnabled(ETWLogging::LOG_LEVEL_NORMAL);
    return logsEach || m_bIsOobeMode != 0;
}

std::vector<std::wstring> CKsTaskManager::tasksToVisit(DWORD bAMMode, DWORD dwAMFutureWindow, uint32_t now) const
{
    // In auto-maintenance a task due within the window counts as due.
    const uint64_t until = std::min<uint64_t>(uint64_t{now} + (bAMMode != 0 ? dwAMFutureWindow : 0), kNoTime);
    std::vector<std::wstring> names = m_list.due().timedDueBy(static_cast<uint32_t>(until));
    names.insert(names.end(), m_builderHeld.begin(), m_builderHeld.end());
    names.insert(names.end(), m_runNow.begin(), m_runNow.end());
    names.insert(names.end(), m_list.due().occasions().begin(), m_list.due().occasions().end());
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

DWORD CKsTaskManager::_AddToQ(DWORD type, DWORD bOutOfOobe, DWORD bAMMode, DWORD dwAMFutureWindow)
{
    const uint32_t now = Clock::current().now();
    KSLOG_NORMAL(L"Adding tasks of type %d to the Q (if type is scheduled they will only be added if they are overdue)",
                 static_cast<int>(type));
    if (isTimed(type))
        m_lastTimedQueueBuild = now;
    TaskMap& tasks = m_list.tasks();
    if (tasks.empty()) {
        KSLOG_NORMAL(L"Our internal task list of empty. Nothing to add to the Q");
        return 0;
    }
    auto visitedUpTo = tasks.end();  // the task where the walk stopped, when it stopped early
    DWORD result = 0;
    if (visitsEveryTask()) {
        for (auto it = tasks.begin(); it != tasks.end() && result == 0; ++it) {
            if (it->second && (result = visitForQ(it->first, *it->second, type, bOutOfOobe, bAMMode,
                                                  dwAMFutureWindow, now)) != 0)
                visitedUpTo = std::next(it);
        }
    } else {
        for (const std::wstring& name : tasksToVisit(bAMMode, dwAMFutureWindow, now)) {
            auto it = tasks.find(name);
            if (it == tasks.end() || !it->second)
                continue;
            if ((result = visitForQ(name, *it->second, type, bOutOfOobe, bAMMode, dwAMFutureWindow, now)) != 0) {
                visitedUpTo = std::next(it);
                break;
            }
        }
    }
    // Every task the walk reached counts as visited, queued or not.
    if (visitedUpTo == tasks.end())
        m_list.visitedAll();
    for (auto it = tasks.begin(); visitedUpTo != tasks.end() && it != visitedUpTo; ++it) {
        if (it->second)
            it->second->m_bDirty = 0;
    }
    return result;
}

DWORD CKsTaskManager::visitForQ(const std::wstring& name, EngineTask& task, DWORD type, DWORD bOutOfOobe,
                                DWORD bAMMode, DWORD dwAMFutureWindow, uint32_t now)
{
    KSLOG_NORMAL(L"Processing task %s", name.c_str());
    // The list first: the probe may reach the Windows Runtime, so only listed tasks ask it.
    if (!IsTaskAllowedInRetailMode(name) && m_services.retailDemo->isRetailDemoMode()) {
        KSLOG_NORMAL(L"The Task is disabled in the retail mode");
        holdBy(name, task, dueOrAsked(m_runNow, name, task, now) ? HoldReason::retailDemo : HoldReason::none);
        return 0;
    }
    if (heldByOobe(name, task, type, bOutOfOobe, now))
        return 0;
    if (task.m_builderHold != HoldReason::maintenanceExclusion || bAMMode == 0)
        holdBy(name, task, HoldReason::none);
    if (task.dwTaskType != type)
        return 0;
    bool due = true;
    if (isTimed(type)) {
        const TimedVerdict verdict = m_rules.timedTaskDue(name, task, bAMMode, dwAMFutureWindow, now);
        if (task.m_bLongOverdue)
            m_list.marked(name);
        if (verdict.excluded)
            holdBy(name, task, verdict.due ? HoldReason::maintenanceExclusion : HoldReason::none, now);
        due = verdict.due && !verdict.excluded;
    } else if (isOccasion(type)) {
        due = m_rules.occasionTaskDue(name, task, bOutOfOobe);
    }
    return due ? enqueue(name, task) : 0;
}

uint32_t CKsTaskManager::FindMinNextRunTime()
{
    if (m_list.tasks().empty())
        return kNoTime;
    const uint32_t now = Clock::current().now();
    KSLOG_NORMAL(L"Trying to find the earliest next-run time of all scheduled type tasks");
    // A task that fell due between the last queue build and now was not queued by that build;
    // taking only later times would leave it until the next task or the safety wait.
    const uint32_t after = m_lastTimedQueueBuild != 0 && m_lastTimedQueueBuild < now ? m_lastTimedQueueBuild : now;
    uint32_t earliest = kNoTime;
    if (m_bIsOobeMode == 0) {
        // No out-of-box hold ends: the due index's first time after `after`, or a retry sooner.
        earliest = m_list.due().earliestTimedAfter(after);
        for (const std::wstring& name : m_list.due().occasions()) {
            auto found = m_list.tasks().find(name);
            const uint32_t retry = found != m_list.tasks().end() && found->second ? found->second->m_dwRetryAt : 0;
            if (retry != 0 && retry < earliest && retry > after)
                earliest = retry;
        }
    }
    for (auto it = m_list.tasks().begin(); m_bIsOobeMode != 0 && it != m_list.tasks().end(); ++it) {
        const EngineTask* task = it->second.get();
        if (!task)
            continue;
        uint32_t elapsed = 0;
        uint64_t candidate = kNoTime;
        if (oobeHoldActive(*task, now, &elapsed)) {
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
    KSLOG_NORMAL(L"The earliest next-run time is %s", utcTimeText(earliest).c_str());
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
    auto found = m_list.tasks().find(head->name);
    if (found == m_list.tasks().end() || !found->second) {
        KSLOG_ERROR(L"Somehow could not find this task in our internal task map. Cannot execute");
        return false;
    }
    const EngineTask& task = *found->second;
    if (task.m_bLongOverdue) {
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
