// Joining a started program to its job and lowering a background program's priorities.
#include "execution/ProgramJob.h"

#include "logging/internal_logging.h"

namespace KsExecution {
namespace {

constexpr DWORD kBackgroundClass = BELOW_NORMAL_PRIORITY_CLASS;
constexpr ULONG kProcessIoPriority = 33;  // PROCESSINFOCLASS ProcessIoPriority
constexpr ULONG kIoPriorityVeryLow = 0;   // IoPriorityVeryLow

using NtSetInformationProcessFn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG);

// Not in the import libraries the module links: looked up once in ntdll, which every process has.
NtSetInformationProcessFn ntSetInformationProcess()
{
    static const auto fn = reinterpret_cast<NtSetInformationProcessFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtSetInformationProcess")));
    return fn;
}

void setIoPriority(HANDLE process)
{
    ULONG priority = kIoPriorityVeryLow;
    const NtSetInformationProcessFn set = ntSetInformationProcess();
    const LONG status = set ? set(process, kProcessIoPriority, &priority, sizeof priority) : -1;
    if (status < 0)
        KSLOG_WARNING(L"Unable to lower the I/O priority of process %u, status 0x%08lx", ::GetProcessId(process),
                      static_cast<unsigned long>(status));
}

void setMemoryPriority(HANDLE process)
{
    MEMORY_PRIORITY_INFORMATION priority{};
    priority.MemoryPriority = MEMORY_PRIORITY_VERY_LOW;
    if (!::SetProcessInformation(process, ProcessMemoryPriority, &priority, sizeof priority)) {
        const DWORD error = ::GetLastError();
        KSLOG_WARNING(L"Unable to lower the memory priority of process %u, error %u", ::GetProcessId(process), error);
    }
}

// The job's class covers the processes the program starts, where the system applies it.
void limitToBackground(HANDLE job)
{
    JOBOBJECT_BASIC_LIMIT_INFORMATION limit{};
    limit.LimitFlags = JOB_OBJECT_LIMIT_PRIORITY_CLASS;
    limit.PriorityClass = kBackgroundClass;
    if (!::SetInformationJobObject(job, JobObjectBasicLimitInformation, &limit, sizeof limit)) {
        const DWORD error = ::GetLastError();
        KSLOG_WARNING(L"Unable to limit the job's priority class, error %u", error);
    }
}

Keelwork::unique_job joinNewJob(HANDLE process, bool background)
{
    Keelwork::unique_job job(::CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        const DWORD error = ::GetLastError();
        KSLOG_WARNING(L"Unable to create a job for process %u, error %u; it runs without one",
                      ::GetProcessId(process), error);
        return job;
    }
    if (background)
        limitToBackground(job.get());
    if (!::AssignProcessToJobObject(job.get(), process)) {
        const DWORD error = ::GetLastError();
        KSLOG_WARNING(L"Unable to put process %u into its job, error %u; it runs without one",
                      ::GetProcessId(process), error);
        job.reset();
    }
    return job;
}

} // namespace

void lowerToBackground(HANDLE process)
{
    // Also where the creation flag already asked for it: some systems start every process at the
    // normal class whatever the flag says.
    if (!::SetPriorityClass(process, kBackgroundClass)) {
        const DWORD error = ::GetLastError();
        KSLOG_WARNING(L"Unable to lower the priority class of process %u, error %u", ::GetProcessId(process), error);
    }
    setIoPriority(process);
    setMemoryPriority(process);
}

DWORD runInJob(Keelwork::unique_process_information& started, bool background, Keelwork::unique_job& job)
{
    job = joinNewJob(started.process.get(), background);
    if (background)
        lowerToBackground(started.process.get());
    if (::ResumeThread(started.thread.get()) != static_cast<DWORD>(-1))
        return 0;
    const DWORD error = ::GetLastError();
    KSLOG_ERROR(L"Unable to resume process %u, error %u; it is ended", started.processId, error);
    ::TerminateProcess(started.process.get(), error);
    job.reset();
    return error;
}

} // namespace KsExecution
