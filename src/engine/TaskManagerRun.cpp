// CKsTaskManager::RunAndPopTopTask: launching the head task of the queue and reporting it.
#include "engine/TaskManager.h"

#include "engine/EngineCodes.h"
#include "execution/DeferralCodes.h"
#include "execution/TaskExecutionNames.h"
#include "execution/TrustedFile.h"
#include "logging/internal_logging.h"
#include "message/JSONFormatter.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"
#include "platform/PlatformProbes.h"
#include "store/TaskHistory.h"

#include <new>
#include <optional>
#include <utility>

namespace Keelwork::engine {
namespace {

namespace names = KsExecution::names;

void publish(const std::shared_ptr<Tessel::MessageBusClient>& bus, const wchar_t* topic, const std::wstring& name,
             const Tessel::JSONFormatter& payload)
{
    if (!bus)
        return;
    if (auto message = Tessel::Message::create(std::wstring(topic) + L"." + name, names::kSenderAlias,
                                               payload.serialize()))
        bus->publish(message);
}

// What the board keeps of a launch: its outcome once a start was tried, its deferral when it sent one.
// A limited tree that outlives the launch's wait keeps the time it is ended by.
void tell(TaskState& state, const LaunchReport& report, bool limitedTreeRuns)
{
    state.running = false;
    if (!limitedTreeRuns)
        state.endsAt = 0;
    if (report.attempted)
        state.lastLaunch = LaunchOutcome{report.time,       report.result, report.exitCode,
                                         report.durationMs, report.cpuMs,  report.peakMemoryBytes};
    if (report.deferral)
        state.lastDeferral =
            DeferralOutcome{report.time, report.deferral->code, report.deferral->delay, report.deferral->error};
}

// The history's line for a launch: a start that was tried, or the deferral it reported; none for
// a launch that ended before either (the engine stopping in the middle of its checks).
std::optional<KsStore::HistoryEntry> historyEntryOf(const LaunchReport& report)
{
    using KsStore::HistoryEvent;
    KsStore::HistoryEntry entry;
    entry.time = report.time;
    if (report.deferral) {
        const auto code = static_cast<KsExecution::DeferralCode>(report.deferral->code);
        entry.event = KsExecution::isRefusal(code)       ? HistoryEvent::refused
                      : KsExecution::isFailedStart(code) ? HistoryEvent::failed
                                                         : HistoryEvent::deferred;
        entry.result = report.result;
        entry.code = report.deferral->code;
        entry.delay = report.deferral->delay;
        entry.errorCode = report.deferral->error;
        return entry;
    }
    if (!report.started)
        return std::nullopt;
    entry.event = HistoryEvent::launched;
    entry.result = report.result;
    entry.exitCodeKnown = report.exitCode.has_value();
    entry.exitCode = report.exitCode.value_or(0);
    entry.durationMs = report.durationMs;
    entry.cpuMs = report.cpuMs;
    entry.peakMemoryBytes = report.peakMemoryBytes;
    return entry;
}

} // namespace

// A launch is an object of its own, made from the record the engine holds and dropped after it;
// what the launch changed in the record (its next run, a preset applied afresh) comes back into it.
DWORD CKsTaskManager::launch(const std::wstring& name, EngineTask& task,
                             const std::shared_ptr<Tessel::MessageBusClient>& bus, DWORD* deleted)
{
    SingleTaskServices services = m_services.launch;
    std::shared_ptr<KsExecution::RunLimitKeeper::Watch> limit;
    if (task.dwMaxRunTime != 0)
        services.ranInJob = [&](const wchar_t*, HANDLE job, DWORD) { return keepLimit(name, job, task.dwMaxRunTime, limit); };
    std::unique_ptr<CSingleTask> run(new (std::nothrow) CSingleTask(name.c_str(), std::move(services)));
    if (!run || run->Assign(&task) != ERROR_SUCCESS)
        return ERROR_NOT_ENOUGH_MEMORY;
    run->CarryLaunchCount(task.m_dwLaunchCount);
    if (std::exchange(task.m_queuedToRunNow, false))
        run->scheduleFromRunMoment();
    if (bus)
        run->UseBus(bus);
    if (m_board)
        m_board->changeTask(name, [](TaskState& state) {
            state.queued = false;
            state.running = true;
            state.hold = TaskHold{};
        });
    const DWORD result = run->Launch(deleted, m_dwFinishWait, m_hExitEvent);
    task.assign(*run);
    m_list.reindex(name);  // the launch moved its next run
    task.m_dwLaunchCount = run->report().launchCount;
    m_list.marked(name);
    if (m_board) {
        const bool limitedTreeRuns = limit && limit->treeRuns();
        m_board->changeTask(name, [&](TaskState& state) { tell(state, run->report(), limitedTreeRuns); });
    }
    // Only now, with the launch's messages out: the history costs registry writes, which must not
    // come between the timer and the program's start.
    if (const std::optional<KsStore::HistoryEntry> entry = historyEntryOf(run->report()))
        KsStore::TaskHistory::append(name.c_str(), *entry);
    // A stop during the launch is told after it; from here on the keeper records its stop itself.
    if (const std::optional<KsStore::HistoryEntry> stop = limit ? limit->leaveWait() : std::nullopt)
        KsStore::TaskHistory::append(name.c_str(), *stop);
    return result;
}

HANDLE CKsTaskManager::keepLimit(const std::wstring& name, HANDLE job, uint32_t seconds,
                                 std::shared_ptr<KsExecution::RunLimitKeeper::Watch>& watch)
{
    watch = m_runLimits.keep(name, job, seconds);
    if (!watch)
        return nullptr;
    if (m_board)
        m_board->changeTask(name, [&](TaskState& state) { state.endsAt = watch->endsAt(); });
    return watch->ended();
}

void CKsTaskManager::settleLimits()
{
    for (const KsExecution::RunLimitKeeper::Released& over : m_runLimits.takeReleased()) {
        if (!m_board || !m_list.tasks().count(over.task))
            continue;
        // A later run of the task may have its own limit by now.
        m_board->changeTask(over.task, [&](TaskState& state) {
            if (!state.running && state.endsAt == over.endsAt)
                state.endsAt = 0;
        });
    }
}

const wchar_t* CKsTaskManager::ProgramDueAt(uint32_t due) const
{
    for (const std::wstring& name : m_list.due().timedAt(due)) {
        const auto found = m_list.tasks().find(name);
        const EngineTask* task = found != m_list.tasks().end() ? found->second.get() : nullptr;
        if (task && task->dwTaskTrigType == KS_TRIGGER_PROCESS && task->pwszTaskTrigger && *task->pwszTaskTrigger)
            return task->pwszTaskTrigger;
    }
    return nullptr;
}

KsExecution::ITrustValidator& CKsTaskManager::trustValidator() const
{
    return KsExecution::trustValidatorOr(m_services.launch.trust);
}

DWORD CKsTaskManager::RunAndPopTopTask(std::wstring& nameOut, const std::shared_ptr<Tessel::MessageBusClient>& bus)
{
    std::unique_ptr<QueueItem> item = m_queue.pop();
    if (!item)
        return kRan;
    nameOut = item->name;
    item.reset();
    KSLOG_NORMAL(L"Getting ready to launch task %s", nameOut.c_str());
    // The reports are written by the JSON writer, not pasted together: a name holding a quotation
    // mark or a control character is escaped, so every client can parse them.
    Tessel::JSONFormatter report;
    report.setString(names::kNameMember, nameOut);
    publish(bus, names::kLaunchAttemptTopic, nameOut, report);

    auto found = m_list.tasks().find(nameOut);
    if (found == m_list.tasks().end() || !found->second) {
        KSLOG_ERROR(L"Somehow could not find this task in our internal task map. Cannot execute");
        report.setString(names::kReasonMember, L"error");
        report.setUInt(names::kErrorCodeMember, kNotInList);
        publish(bus, names::kDeferredTopic, nameOut, report);
        return kNotInList;
    }
    KSLOG_NORMAL(L"Now launching task");
    DWORD deleted = 0;
    const DWORD result = launch(nameOut, *found->second, bus, &deleted);
    KSLOG_NORMAL(L"Returning after task execution. Returns: %d", result);
    if (deleted) {
        KSLOG_NORMAL(L"The task has been deleted, maybe because it had no default frequency set. Removing it from our "
                     L"internal memory list");
        m_list.erase(found);
    } else {
        TaskList::readRetryTime(nameOut, *found->second);  // the launch cleared or moved it
    }
    if (result == kStopping)
        return kStopping;
    if (nameOut == names::kUpdateTask) {
        KSLOG_INFO(L"This task was an update task. Checking if a reboot is pending");
        if (IsRestartPending()) {
            KSLOG_INFO(L"A reboot is pending. Task scheduler will be SUSPENDED");
            return kRestartPending;
        }
    }
    return kRan;
}

} // namespace Keelwork::engine
