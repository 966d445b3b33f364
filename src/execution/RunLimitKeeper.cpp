// The run-limit keeper: its thread, waiting on one completion port for the nearest deadline, the
// jobs' last-process messages and its own wake-ups; and the end of a tree.
#include "execution/RunLimitKeeper.h"

#include "common/Clock.h"
#include "execution/TreeUsage.h"
#include "logging/internal_logging.h"

#include <algorithm>
#include <exception>
#include <new>

namespace KsExecution {
namespace {

// Completion keys below kFirstWatchKey are the keeper's own; the others name a watch.
constexpr ULONG_PTR kStopKey = 0;
constexpr ULONG_PTR kWakeKey = 1;
constexpr uint64_t kFirstWatchKey = 2;
// What the ended processes report as their exit code.
constexpr UINT kStoppedExitCode = ERROR_TIMEOUT;

DWORD activeProcesses(HANDLE job)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr))
        return 1;  // unknown: ending a job with nothing in it is harmless
    return accounting.ActiveProcesses;
}

// The last handle to the job ends its processes: a host that dies takes the tree with it.
void endWithLastHandle(HANDLE job)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    if (::QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr)) {
        limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
            return;
    }
    KSLOG_WARNING(L"The job of a limited task is not ended with the module's handle. Error: %u", ::GetLastError());
}

// The history's entry for a tree about to be ended: what it used up to now.
KsStore::HistoryEntry stopEntry(HANDLE job, KsStore::StopReason reason)
{
    KsExecution::TreeMeter meter;
    meter.watch(job, false);
    meter.tick();
    const KsExecution::TreeUsage usage = meter.usage();
    KsStore::HistoryEntry entry;
    entry.time = Keelwork::Clock::current().now();
    entry.event = KsStore::HistoryEvent::stopped;
    entry.code = static_cast<uint32_t>(reason);
    entry.cpuMs = usage.cpuMs;
    entry.peakMemoryBytes = usage.peakMemoryBytes;
    return entry;
}

} // namespace

RunLimitKeeper::Watch::Watch(std::wstring task, Keelwork::unique_handle job, uint32_t limitSeconds, uint32_t endsAt,
                             ULONGLONG deadlineTick)
    : m_task(std::move(task)), m_job(std::move(job)), m_limitSeconds(limitSeconds), m_endsAt(endsAt),
      m_deadlineTick(deadlineTick), m_ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

std::optional<KsStore::HistoryEntry> RunLimitKeeper::Watch::leaveWait()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_launchWaits = false;
    return std::exchange(m_stop, std::nullopt);
}

bool RunLimitKeeper::Watch::treeRuns() const
{
    return activeProcesses(m_job.get()) != 0;
}

RunLimitKeeper::~RunLimitKeeper()
{
    if (m_thread) {
        ::PostQueuedCompletionStatus(m_port.get(), 0, kStopKey, nullptr);
        ::WaitForSingleObject(m_thread.get(), INFINITE);
    }
    // Only this thread is left: no lock needed, none taken while trees end.
    for (auto& [key, watch] : m_watches)
        end(*watch, KsStore::StopReason::moduleStop);
    m_watches.clear();
}

std::shared_ptr<RunLimitKeeper::Watch> RunLimitKeeper::keep(const std::wstring& task, HANDLE job, uint32_t limitSeconds)
{
    m_owner.store(::GetCurrentThreadId());
    std::shared_ptr<Watch> watch;
    const DWORD error = watchJob(task, job, limitSeconds, watch);
    if (error == ERROR_SUCCESS)
        return watch;
    KSLOG_ERROR(L"Task %s runs without its limit of %u seconds: it cannot be watched. Error: %u", task.c_str(),
                limitSeconds, error);
    return nullptr;
}

DWORD RunLimitKeeper::watchJob(const std::wstring& task, HANDLE job, uint32_t limitSeconds,
                               std::shared_ptr<Watch>& watch)
{
    Keelwork::unique_handle held;
    if (!job)
        return ERROR_INVALID_HANDLE;
    if (!::DuplicateHandle(::GetCurrentProcess(), job, ::GetCurrentProcess(), held.put(), 0, FALSE,
                           DUPLICATE_SAME_ACCESS) ||
        (!m_thread && !startThread()))
        return ::GetLastError();
    endWithLastHandle(held.get());
    // Ended at the deadline to the millisecond; told as the second by which it is ended.
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const bool partSecond = ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000) % 1000 != 0;
    const uint32_t endsAt = Keelwork::Clock::current().now() + limitSeconds + (partSecond ? 1 : 0);
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(limitSeconds) * 1000;
    uint64_t key = 0;
    try {
        watch = std::make_shared<Watch>(task, std::move(held), limitSeconds, endsAt, deadline);
        if (!watch->ended())
            return ::GetLastError();
        std::lock_guard<std::mutex> hold(m_lock);
        key = m_nextKey++ + kFirstWatchKey;
        m_watches.emplace(key, watch);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Without the job's messages a tree that ended by itself is let go at its deadline instead.
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT port{reinterpret_cast<PVOID>(key), m_port.get()};
    ::SetInformationJobObject(watch->m_job.get(), JobObjectAssociateCompletionPortInformation, &port, sizeof port);
    ::PostQueuedCompletionStatus(m_port.get(), 0, kWakeKey, nullptr);
    return ERROR_SUCCESS;
}

bool RunLimitKeeper::startThread()
{
    m_port.reset(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!m_port)
        return false;
    m_thread.reset(::CreateThread(nullptr, 0, &RunLimitKeeper::entry, this, 0, nullptr));
    return static_cast<bool>(m_thread);
}

DWORD WINAPI RunLimitKeeper::entry(void* param)
{
    // No exception leaves a thread: one ends the watching, and the trees then end with the keeper.
    try {
        static_cast<RunLimitKeeper*>(param)->watchLoop();
    } catch (const std::exception& error) {
        KSLOG_ERROR(L"The run-limit keeper ended on an unexpected exception: %hs", error.what());
    } catch (...) {
        KSLOG_ERROR(L"The run-limit keeper ended on an unexpected exception");
    }
    return 0;
}

void RunLimitKeeper::watchLoop()
{
    for (;;) {
        DWORD message = 0;
        ULONG_PTR key = kWakeKey;
        OVERLAPPED* detail = nullptr;
        const BOOL got = ::GetQueuedCompletionStatus(m_port.get(), &message, &key, &detail, untilNextDeadline());
        if (got && key == kStopKey)
            return;
        if (got && key >= kFirstWatchKey && message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
            letGoIfIdle(key);
        for (const std::shared_ptr<Watch>& watch : takeDue(::GetTickCount64()))
            if (end(*watch, KsStore::StopReason::timeLimit))
                release(*watch);
    }
}

DWORD RunLimitKeeper::untilNextDeadline()
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_watches.empty())
        return INFINITE;
    ULONGLONG nearest = MAXULONGLONG;
    for (const auto& [key, watch] : m_watches)
        nearest = std::min(nearest, watch->m_deadlineTick);
    const ULONGLONG now = ::GetTickCount64();
    return nearest <= now ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(nearest - now, INFINITE - 1));
}

std::vector<std::shared_ptr<RunLimitKeeper::Watch>> RunLimitKeeper::takeDue(ULONGLONG nowTick)
{
    std::vector<std::shared_ptr<Watch>> due;
    std::lock_guard<std::mutex> hold(m_lock);
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        if (it->second->m_deadlineTick <= nowTick) {
            due.push_back(std::move(it->second));
            it = m_watches.erase(it);
        } else {
            ++it;
        }
    }
    return due;
}

void RunLimitKeeper::letGoIfIdle(uint64_t key)
{
    std::shared_ptr<Watch> idle;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto found = m_watches.find(key);
        if (found == m_watches.end())
            return;
        // A launch still waiting (for its completion event, say) keeps its watch: its wait ends at
        // the deadline at the latest.
        std::lock_guard<std::mutex> launch(found->second->m_lock);
        if (found->second->m_launchWaits)
            return;
        idle = std::move(found->second);
        m_watches.erase(found);
    }
    release(*idle);
}

void RunLimitKeeper::release(const Watch& watch)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_released.push_back(Released{watch.m_task, watch.m_endsAt});
    }
    // Any message wakes the owner's wait; one it has no use for is dropped there.
    ::PostThreadMessageW(m_owner.load(), WM_NULL, 0, 0);
}

std::vector<RunLimitKeeper::Released> RunLimitKeeper::takeReleased()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return std::exchange(m_released, {});
}

bool RunLimitKeeper::end(Watch& watch, KsStore::StopReason reason)
{
    if (activeProcesses(watch.m_job.get()) == 0) {
        ::SetEvent(watch.m_ended.get());
        std::lock_guard<std::mutex> hold(watch.m_lock);
        return !watch.m_launchWaits;
    }
    // Measured first: where only live processes can be read, an ended tree tells nothing.
    const KsStore::HistoryEntry stop = stopEntry(watch.m_job.get(), reason);
    bool launchWaits;
    {
        // Ended under the lock: a launch that sees its program end still finds the stop handed over.
        std::lock_guard<std::mutex> hold(watch.m_lock);
        launchWaits = watch.m_launchWaits;
        ::TerminateJobObject(watch.m_job.get(), kStoppedExitCode);
        if (launchWaits)
            watch.m_stop = stop;
    }
    if (reason == KsStore::StopReason::timeLimit)
        KSLOG_WARNING(L"Task %s ran longer than its limit of %u seconds and was stopped", watch.m_task.c_str(),
                      watch.m_limitSeconds);
    else
        KSLOG_WARNING(L"Task %s was stopped with the scheduler before its limit of %u seconds",
                      watch.m_task.c_str(), watch.m_limitSeconds);
    ::SetEvent(watch.m_ended.get());
    if (!launchWaits)
        KsStore::TaskHistory::append(watch.m_task.c_str(), stop);
    return !launchWaits;
}

} // namespace KsExecution
