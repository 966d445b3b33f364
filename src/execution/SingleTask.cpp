// CSingleTask::Launch and its steps: the checks (SingleTaskChecks.cpp), the next run written before
// the run, the start of the program or the trigger event, the wait and the completion report.
#include "execution/SingleTask.h"

#include "analytics/AnalyticsNames.h"
#include "analytics/TaskEvents.h"
#include "common/Clock.h"
#include "execution/CreateProcessHelper.h"
#include "execution/DeferralCodes.h"
#include "execution/ModuleFromClsid.h"
#include "platform/NotQuiteNullDacl.h"
#include "platform/PlatformProbes.h"
#include "execution/ProcessRunning.h"
#include "execution/TaskExecutionNames.h"
#include "execution/TreeUsage.h"
#include "execution/TrustedFile.h"
#include "logging/internal_logging.h"
#include "message/JSONFormatter.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"

#include <cwchar>
#include <cwctype>

namespace {

namespace A = Tessel::Analytics::names;
using namespace KsExecution::names;
using KsExecution::DeferralCode;

constexpr DWORD kExitedByEngine = 1602;
// How long a program runs before the launch says it still runs.
constexpr DWORD kStillRunningMs = 500;
constexpr DWORD kLowPriority = BELOW_NORMAL_PRIORITY_CLASS;  // 0x4000
constexpr DWORD kNormalPriority = NORMAL_PRIORITY_CLASS;     // 0x20

// System time in 100-nanosecond units.
ULONGLONG systemTime100ns()
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

const wchar_t* orEmpty(const wchar_t* text)
{
    return text ? text : L"";
}

} // namespace

// What one launch holds between its steps.
struct CSingleTask::Run {
    explicit Run(const KsPlatform::ProbeServices& services) : probes(services) {}

    const KsPlatform::ProbeServices& probes;
    Keelwork::unique_event completion;
    Keelwork::unique_handle process;
    // Holds the program and every process it starts; closing it ends none of them.
    Keelwork::unique_job job;
    DWORD processId = 0;
    bool background = false;  // the program and its children run at background priorities
    HANDLE endsWait = nullptr;  // not owned: set when the run's tree was ended for its limit
    KsExecution::TreeMeter meter;
    ULONGLONG started = 0;
    bool failed = false;          // the start failed: no completion report
    bool startAttempted = false;  // a start was tried, successful or not
};

bool CSingleTask::isTask(const wchar_t* name) const
{
    return _wcsicmp(m_wszName, name) == 0;
}

bool CSingleTask::isUpdateTask() const
{
    return isTask(kUpdateTask);
}

bool CSingleTask::_IsProcessRunning(const wchar_t* name1, const wchar_t* name2)
{
    if (m_services.isProcessRunning)
        return m_services.isProcessRunning(name1, name2);
    return KsExecution::IsProcessRunning(name1, name2);
}

DWORD CSingleTask::Launch(DWORD* deletedOut, DWORD finishWaitSeconds, HANDLE exitEvent)
{
    m_report = LaunchReport{};
    m_report.time = Keelwork::Clock::current().now();
    const ULONGLONG began = ::GetTickCount64();
    m_report.result = launchProgram(deletedOut, finishWaitSeconds, exitEvent);
    m_report.durationMs = static_cast<uint32_t>(::GetTickCount64() - began);
    m_report.launchCount = m_dwLaunchCount;
    return m_report.result;
}

DWORD CSingleTask::launchProgram(DWORD* deletedOut, DWORD finishWaitSeconds, HANDLE exitEvent)
{
    DWORD ignored = 0;
    DWORD* deleted = deletedOut ? deletedOut : &ignored;
    *deleted = 0;

    prepareLaunch();
    KsPlatform::SystemProbeServices systemProbes(exitEvent);
    Run run(m_services.probes ? *m_services.probes : systemProbes);
    m_probes = &run.probes;

    KSLOG_INFO(L"Launching Task: %s dwMeteredAccessWise: %d m_dwMeteredAccessAttemped: %d "
               L"m_dwMeteredAccessAttemptsAllowed: %d ",
               m_wszName, dwMeteredAccessWise, m_dwMeteredAccessAttemped, m_dwMeteredAccessAttemptsAllowed);
    ++m_dwLaunchCount;
    Tessel::Analytics::sendTaskSchedulerEvent(A::kEventTaskLaunch, A::kActionTaskLaunch, m_wszName,
                                              std::to_wstring(m_dwLaunchCount), L"", L"");

    const std::optional<LaunchReport::Deferral> deferral = firstDeferral(true);
    const auto code = deferral ? static_cast<DeferralCode>(deferral->code) : DeferralCode::unknown;
    // Any launch past the metered check resets its count, so the next metered stretch again
    // defers the full number of times.
    if (!deferral || (code != DeferralCode::battery && code != DeferralCode::metroMode && code != DeferralCode::metered)) {
        m_dwMeteredAccessAttemped = 0;
        writeTaskDword(KsStore::ValueName::Postponed, 0);
    }
    if (deferral)
        return applyDeferral(*deferral);

    advanceBeforeRun(deleted);
    run.completion = createCompletionEvent();
    run.started = systemTime100ns();

    DWORD result = 0;
    if (dwTaskTrigType == KS_TRIGGER_PROCESS) {
        result = startProgram(run);
        if (!run.startAttempted)
            return result;  // refused by validation
    } else if (dwTaskTrigType == KS_TRIGGER_EVENT) {
        setTriggerEvent(run);
    }
    m_report.attempted = run.startAttempted;
    m_report.started = run.startAttempted && !run.failed;

    if (waitForFinish(run, finishWaitSeconds, exitEvent) == kExitedByEngine)
        result = kExitedByEngine;
    DWORD exitCode = 0;
    if (run.process && ::WaitForSingleObject(run.process.get(), 0) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(run.process.get(), &exitCode)) {
        m_report.exitCode = exitCode;
        const KsExecution::TreeUsage usage = run.meter.usage();
        m_report.cpuMs = usage.cpuMs;
        m_report.peakMemoryBytes = usage.peakMemoryBytes;
    }
    run.completion.reset();
    run.process.reset();
    run.job.reset();

    if (!run.failed)
        reportCompletion(run);
    if (isUpdateTask() && run.startAttempted)
        writeTaskDword(KsStore::ValueName::UpdRun, 0);
    return result;
}

void CSingleTask::deferLaunch(DeferralCode code, DWORD delay, DWORD error)
{
    SendTaskDeferredMessage(KsExecution::deferralReasonWord(code), static_cast<DWORD>(code), delay, error);
    m_report.deferral = LaunchReport::Deferral{static_cast<uint32_t>(code), delay, error};
}

void CSingleTask::advanceBeforeRun(DWORD* deletedOut)
{
    *deletedOut = 0;
    if (dwTaskType != KS_TASK_SCHEDULED && dwTaskType != KS_TASK_CUSTOM && dwTaskType != KS_TASK_PRESET)
        return;
    if (dwDefaultFreq != 0 || dwInterval != 0) {
        KSLOG_NORMAL(L"This task has a default frequency or interval set. A next run will be written");
        WriteNextRunAfterRun();
    } else if (dwRepeatTask != 0) {
        KSLOG_NORMAL(L"This task has repeat task flag set but dwDefaultFreq is 0. This shouldn't happen, force "
                     L"dwDefaultFreq to 60 sec to aovid CPU spike.");
        dwDefaultFreq = 60;
        WriteNextRunAfterRun();
    } else {
        KSLOG_INFO(L"This task has no default freq or interval set, and repeat task flag is not set. It will be "
                   L"deleted from task list");
        Delete();
        *deletedOut = 1;
    }
}

Keelwork::unique_event CSingleTask::createCompletionEvent()
{
    if (pwszTaskEventName == nullptr || *pwszTaskEventName == L'\0')
        return {};
    Keelwork::unique_event event(::CreateEventW(nullptr, TRUE, FALSE, pwszTaskEventName));
    if (event && ::GetLastError() == ERROR_ALREADY_EXISTS)
        ::ResetEvent(event.get());
    KSLOG_NORMAL(L"Event that will be set by tasks once done: %p", event.get());
    if (!event)
        return event;
    bool built = false;
    const DWORD error = NotQuiteNullDacl::ApplyTo(event.get(), built);
    if (!built)
        KSLOG_ERROR(L"failed to create our DACl with error %ld", error);
    else if (error != ERROR_SUCCESS)
        KSLOG_ERROR(L"Error giving permission to everyone on this event. User mode tasks might not be able to "
                    L"notify that they are done. Error: %d",
                    error);
    else
        KSLOG_NORMAL(L"Gave permission to everyone on this event. User mode tasks will need to open and set the "
                     L"event");
    return event;
}

DWORD CSingleTask::startProgram(Run& run)
{
    KSLOG_NORMAL(L"Validating %s before trying to execute it", orEmpty(pwszTaskTrigger));
    // Held from the check until the start is over, so the file that was checked is the one that runs.
    Keelwork::unique_handle heldFile;
    KsExecution::ITrustValidator& trust = KsExecution::trustValidatorOr(m_services.trust);
    const DWORD validation = trust.validate(pwszTaskTrigger, heldFile);
    if (validation != 0) {
        KSLOG_CRITICAL(L"VALIDATION FAILED. Task: %s. We will reset the next run time.", m_wszName);
        deferLaunch(DeferralCode::validation, m_dwBatteryPollInterval, validation);
        if (dwTaskType == KS_TASK_REBOOT || dwTaskType == KS_TASK_LOGON) {
            m_dwLogonNextRun = 0;
            writeTaskDword(KsStore::ValueName::LogonNextRun, 0);
            resetOccasions();
        } else {
            WriteNextRunAfterRun();
        }
        // *deletedOut stays as the advance left it: a run-once task whose key is gone leaves the
        // engine's list too, instead of being refused again and again until the next refresh.
        return validation;
    }
    KSLOG_NORMAL(L"SUCCESS. %s validated. We will execute it", pwszTaskTrigger);

    run.background = dwBackground != 0;
    const DWORD priority = isTask(kLogCompactionTask) || run.background ? kLowPriority : kNormalPriority;
    CCPHelper helper = m_services.win32 ? CCPHelper(m_services.win32()) : CCPHelper();
    DWORD error = 0;
    run.startAttempted = true;
    DWORD context = 1;
    if (dwTaskType == KS_TASK_LOGON) {
        KSLOG_NORMAL(L"Task will be executed in logged-in users context. Task: %s. Params: %s", orEmpty(pwszTaskTrigger),
                     orEmpty(pwszTaskParams));
    } else {
        KSLOG_NORMAL(L"Task will be executed in context specified by task (%d). Task: %s. Params: %s",
                     dwRunInUserContext, orEmpty(pwszTaskTrigger), orEmpty(pwszTaskParams));
        context = dwRunInUserContext;
    }
    StartedProgram program = helper.Start(pwszTaskTrigger, pwszTaskParams, &error, context, pwszUser, pwszDomain,
                                          priority, run.background);
    run.process = std::move(program.process);
    run.job = std::move(program.job);
    run.processId = program.processId;
    run.meter.watch(run.job.get(), run.background);
    heldFile.reset();
    if (run.process && m_services.ranInJob)
        run.endsWait = m_services.ranInJob(m_wszName, run.job.get(), run.processId);
    const bool started = static_cast<bool>(run.process);
    if (!started && error == 0)
        error = ERROR_INVALID_FUNCTION;  // nothing started, yet no step named an error

    if (dwTaskType == KS_TASK_LOGON || dwTaskType == KS_TASK_REBOOT) {
        m_dwLogonNextRun = 0;
        writeTaskDword(KsStore::ValueName::LogonNextRun, 0);
    }
    if (!started) {
        run.failed = true;
        if (dwTaskType == KS_TASK_LOGON) {
            deferLaunch(DeferralCode::logonStartFailed, 0, error);
        } else if (dwTaskType == KS_TASK_REBOOT) {
            KSLOG_INFO(L"Failed to launch the logon task, will try it again in next logon");
            deferLaunch(DeferralCode::rebootStartFailed, m_dwBatteryPollInterval, error);
        } else {
            deferLaunch(DeferralCode::startFailed, m_dwBatteryPollInterval, error);
        }
        return error;
    }
    if (dwTaskType == KS_TASK_LOGON) {
        resetOccasions();
        KSLOG_INFO(L"Task has been Launched On LOGIN Name: %s", m_wszName);
    } else if (dwTaskType == KS_TASK_REBOOT) {
        resetOccasions();
        KSLOG_INFO(L"Task has been Launched On Reboot Name: %s", m_wszName);
    } else {
        KSLOG_INFO(L"Task has been Launched Name: %s", m_wszName);
    }
    return 0;
}

void CSingleTask::setTriggerEvent(Run& run)
{
    // Setting the task's event is its start: the update task's battery mark ends with it too.
    run.startAttempted = true;
    KSLOG_NORMAL(L"The trigger for task %s involves setting an event %s. Opening the event and setting it.", m_wszName,
                 orEmpty(pwszTaskTrigger));
    Keelwork::unique_event trigger(::OpenEventW(EVENT_MODIFY_STATE, FALSE, orEmpty(pwszTaskTrigger)));
    if (trigger) {
        KSLOG_INFO(L"Task has been Trigged Successfully Name: %s", m_wszName);
        ::SetEvent(trigger.get());
    } else {
        KSLOG_NORMAL(L"Unable to open handle to the task trigger event. It will not be set. Error: %u",
                     ::GetLastError());
        run.completion.reset();  // nobody will set it: no wait
    }
    if (dwTaskType == KS_TASK_REBOOT || dwTaskType == KS_TASK_LOGON) {
        m_dwLogonNextRun = 0;
        writeTaskDword(KsStore::ValueName::LogonNextRun, 0);
        resetOccasions();
    }
}

DWORD CSingleTask::waitForFinish(Run& run, DWORD finishWaitSeconds, HANDLE exitEvent)
{
    HANDLE waitFor = nullptr;
    if (run.completion && run.process) {
        KSLOG_NORMAL(L"Waiting on task completion event %s for %u seconds", pwszTaskEventName, finishWaitSeconds);
        waitFor = run.completion.get();
    } else if (run.process) {
        KSLOG_NORMAL(L"Waiting for process %s to exit", orEmpty(pwszTaskTrigger));
        waitFor = run.process.get();
    } else {
        KSLOG_WARNING(L"Done event is null and the task process is null also. Cannot wait for this task to finish "
                      L"since we have nothing to wait on");
        return 0;
    }
    // A run under a limit also ends its wait when its tree was ended there.
    HANDLE handles[3] = {waitFor};
    DWORD count = 1;
    for (HANDLE also : {exitEvent, run.endsWait})
        if (also)
            handles[count++] = also;
    const DWORD limitMs = finishWaitSeconds > MAXDWORD / 1000 ? INFINITE - 1 : finishWaitSeconds * 1000;
    DWORD waited = WAIT_TIMEOUT;
    DWORD spentMs = 0;
    if (m_services.stillRunning && limitMs > kStillRunningMs) {
        waited = KsExecution::waitMetering(run.meter, count, handles, kStillRunningMs);
        if (waited == WAIT_TIMEOUT)
            m_services.stillRunning();
        spentMs = kStillRunningMs;
    }
    if (waited == WAIT_TIMEOUT)
        waited = KsExecution::waitMetering(run.meter, count, handles, limitMs - spentMs);
    return exitEvent && waited == WAIT_OBJECT_0 + 1 ? kExitedByEngine : 0;
}

void CSingleTask::reportCompletion(const Run& run)
{
    m_dwLaunchCount = 0;
    const double duration = static_cast<double>(systemTime100ns() - run.started) / 10000000.0;
    KSLOG_INFO(L"Task has been executed successfully Name: %s, Duration: %lf s", m_wszName, duration);
    // Written by the JSON writer, so a name holding a quotation mark or a control character is
    // escaped and the report stays parseable.
    Tessel::JSONFormatter payload;
    payload.setString(kNameMember, m_wszName);
    publishReport(std::wstring(kCompletedTopic) + L"." + m_wszName, payload.serialize());
    Tessel::Analytics::sendTaskSchedulerEvent(A::kEventTaskExecuted, A::kActionTaskExecuted, m_wszName,
                                              std::to_wstring(duration), L"", L"");
    if (!isUpdateTask())
        return;
    DWORD firstUpdate = 0;
    if (!readTaskDword(KsStore::ValueName::FirstUpdate, firstUpdate) || firstUpdate == 0) {
        Tessel::Analytics::sendTaskSchedulerEvent(A::kEventUpdateFirst, A::kActionUpdateFirst, m_wszName, L"0", L"",
                                                  L"");
        writeTaskDword(KsStore::ValueName::FirstUpdate, 1);
    }
}
