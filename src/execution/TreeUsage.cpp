// Reading a job's usage: its own accounting, or its live processes one tick at a time.
#include "execution/TreeUsage.h"

#include "common/UniqueHandle.h"
#include "execution/ProgramJob.h"

#include <winternl.h>

#include <algorithm>

namespace KsExecution {
namespace {

constexpr uint64_t k100nsPerMs = 10000;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr size_t kFirstSnapshotBytes = 256 * 1024;
constexpr DWORD kMaxListedProcesses = 256;

using NtQuerySystemInformationFn = LONG(WINAPI*)(SYSTEM_INFORMATION_CLASS, void*, ULONG, ULONG*);

NtQuerySystemInformationFn ntQuerySystemInformation()
{
    static const auto fn = reinterpret_cast<NtQuerySystemInformationFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    return fn;
}

// The ids of the job's processes now; empty when the job cannot be asked.
std::vector<DWORD> processesOf(HANDLE job)
{
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[kMaxListedProcesses - 1];
    } ids{};
    if (!::QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
        return {};
    std::vector<DWORD> out;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i)
        out.push_back(static_cast<DWORD>(ids.list.ProcessIdList[i]));
    return out;
}

// Every process of the machine, with its times and memory counters; false when unreadable.
bool snapshot(std::vector<unsigned char>& buffer)
{
    const NtQuerySystemInformationFn query = ntQuerySystemInformation();
    if (!query)
        return false;
    if (buffer.empty())
        buffer.resize(kFirstSnapshotBytes);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        const LONG status =
            query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status >= 0)
            return true;
        if (status != kInfoLengthMismatch)
            return false;
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + needed / 4));
    }
    return false;
}

DWORD idOf(HANDLE id)
{
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(id));
}

uint64_t milliseconds(const LARGE_INTEGER& time)
{
    return static_cast<uint64_t>(time.QuadPart) / k100nsPerMs;
}

} // namespace

void TreeMeter::watch(HANDLE job, bool background)
{
    *this = TreeMeter{};
    m_job = job;
    m_background = background;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    // Its program is in the job already: a system that counts the job's memory counts some now.
    m_jobCounts = job != nullptr &&
                  ::QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr) &&
                  limits.PeakJobMemoryUsed != 0;
}

void TreeMeter::tick()
{
    if (!snapshot(m_snapshot))
        return;
    for (DWORD id : processesOf(m_job))
        m_tree.insert(id);
    // Wine's list of a job's processes names the one put there only: the rest of the tree is
    // found by its parents, each confirmed as a member of the job.
    std::vector<const SYSTEM_PROCESS_INFORMATION*> processes;
    for (size_t at = 0;;) {
        processes.push_back(reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(m_snapshot.data() + at));
        if (processes.back()->NextEntryOffset == 0)
            break;
        at += processes.back()->NextEntryOffset;
    }
    for (bool grew = true; grew;) {
        grew = false;
        for (const SYSTEM_PROCESS_INFORMATION* process : processes)
            grew = adopt(idOf(process->UniqueProcessId), idOf(process->InheritedFromUniqueProcessId)) || grew;
    }
    uint64_t committedNow = 0;
    uint64_t peak = m_peakBytes.value_or(0);
    bool seen = false;
    for (const SYSTEM_PROCESS_INFORMATION* process : processes) {
        const DWORD id = idOf(process->UniqueProcessId);
        if (m_tree.count(id) == 0)
            continue;
        seen = true;
        m_cpuMsByProcess[id] = milliseconds(process->UserTime) + milliseconds(process->KernelTime);
        committedNow += process->VirtualMemoryCounters.PagefileUsage;
        // One process's own peak was the tree's at that moment at least.
        peak = std::max<uint64_t>(peak, process->VirtualMemoryCounters.PeakPagefileUsage);
    }
    if (seen)
        m_peakBytes = std::max(peak, committedNow);
}

bool TreeMeter::adopt(DWORD id, DWORD parent)
{
    if (m_tree.count(id) != 0 || m_tree.count(parent) == 0 || !m_checked.insert(id).second)
        return false;
    // Wine answers IsProcessInJob only with the full query right.
    const DWORD access = PROCESS_QUERY_INFORMATION | (m_background ? PROCESS_SET_INFORMATION : 0);
    Keelwork::unique_handle process(::OpenProcess(access, FALSE, id));
    BOOL inJob = FALSE;
    if (!process || !::IsProcessInJob(process.get(), m_job, &inJob) || !inJob)
        return false;
    m_tree.insert(id);
    if (m_background && ::GetPriorityClass(process.get()) != BELOW_NORMAL_PRIORITY_CLASS)
        lowerToBackground(process.get());
    return true;
}

TreeUsage TreeMeter::usage() const
{
    TreeUsage out;
    if (m_jobCounts) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION times{};
        if (::QueryInformationJobObject(m_job, JobObjectBasicAccountingInformation, &times, sizeof times, nullptr))
            out.cpuMs = milliseconds(times.TotalUserTime) + milliseconds(times.TotalKernelTime);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        if (::QueryInformationJobObject(m_job, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr))
            out.peakMemoryBytes = limits.PeakJobMemoryUsed;
        return out;
    }
    if (!m_cpuMsByProcess.empty()) {
        uint64_t total = 0;
        for (const auto& [id, cpuMs] : m_cpuMsByProcess)
            total += cpuMs;
        out.cpuMs = total;
    }
    out.peakMemoryBytes = m_peakBytes;
    return out;
}

DWORD waitMetering(TreeMeter& meter, DWORD count, const HANDLE* handles, DWORD limitMs)
{
    if (!meter.wantsTicks())
        return ::WaitForMultipleObjects(count, handles, FALSE, limitMs);
    const ULONGLONG began = ::GetTickCount64();
    for (;;) {
        const ULONGLONG spent = ::GetTickCount64() - began;
        if (spent >= limitMs)
            return WAIT_TIMEOUT;
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(limitMs - spent, TreeMeter::kTickMs));
        const DWORD waited = ::WaitForMultipleObjects(count, handles, FALSE, slice);
        if (waited != WAIT_TIMEOUT)
            return waited;
        meter.tick();
    }
}

} // namespace KsExecution
