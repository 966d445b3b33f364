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
    const std::vector<DWORD> ids = processesOf(m_job);
    if (ids.empty() || !snapshot(m_snapshot))
        return;
    uint64_t committedNow = 0;
    uint64_t peak = m_peakBytes.value_or(0);
    bool seen = false;
    for (size_t at = 0;;) {
        const auto& process = *reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(m_snapshot.data() + at);
        const DWORD id = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(process.UniqueProcessId));
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
            seen = true;
            m_cpuMsByProcess[id] = milliseconds(process.UserTime) + milliseconds(process.KernelTime);
            committedNow += process.VirtualMemoryCounters.PagefileUsage;
            // One process's own peak was the tree's at that moment at least.
            peak = std::max<uint64_t>(peak, process.VirtualMemoryCounters.PeakPagefileUsage);
        }
        if (process.NextEntryOffset == 0)
            break;
        at += process.NextEntryOffset;
    }
    if (seen)
        m_peakBytes = std::max(peak, committedNow);
    if (!m_background)
        return;
    for (DWORD id : ids) {
        if (!m_lowered.insert(id).second)
            continue;
        Keelwork::unique_handle process(
            ::OpenProcess(PROCESS_SET_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        if (process && ::GetPriorityClass(process.get()) != BELOW_NORMAL_PRIORITY_CLASS)
            lowerToBackground(process.get());
    }
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
