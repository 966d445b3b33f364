// CSingleTask: one task being executed. The engine constructs it by name, calls Read, then
// Launch once. Launch decides whether the task may run now (battery, touch-first mode, metered
// connection, a running on-demand scan), writes the next run before the task starts, validates
// the program file, starts it (or sets the task's trigger event), waits for it within a limit and
// reports the outcome in the log, on the bus and in analytics events. A task that may not run now
// is deferred: its next run moves into the future and the deferral is reported.
//
// Used on the engine thread only. The engine makes one object per launch from the task record it
// holds and keeps what the launch reports; what else outlives a launch is in the registry.
#pragma once

#include "common/UniqueHandle.h"
#include "customization/KsPartnerCustomizationCommon.h"
#include "store/KsTask.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Tessel {
class MessageBusClient;
}
namespace KsPlatform {
struct ProbeServices;
}
namespace KsExecution {
class ITrustValidator;
}
class CKsWin32APIBase;

// What a launch consults of the machine; an empty member means the system's own.
struct SingleTaskServices {
    const KsPlatform::ProbeServices* probes = nullptr;
    // Lent, initialized: the launch takes its hives instead of looking through the registry for
    // them; the settings' values are still read at each launch. Null: the launch's own look.
    const KsPartnerCustomizationBase* customization = nullptr;
    KsExecution::ITrustValidator* trust = nullptr;
    // The function table process creation uses.
    std::function<std::unique_ptr<CKsWin32APIBase>()> win32;
    std::function<bool(const wchar_t* name1, const wchar_t* name2)> isProcessRunning;
    std::function<DWORD(const wchar_t* clsid, std::wstring& moduleName, std::wstring& longModuleName)>
        moduleNameFromClsid;
    // Called right after the program started, with the job that holds it and every process it
    // starts (null when the system gave none) and the program's process id. The job handle is
    // the launch's: a keeper that outlives the launch duplicates it. It may answer an event (kept
    // open by the caller until the launch returns) that ends the wait for the run once set.
    std::function<HANDLE(const wchar_t* name, HANDLE job, DWORD pid)> ranInJob;
    // Called once the program has run for half a second and the wait for its end goes
    // on; not at the start itself, where any work would slow the program's own start.
    std::function<void()> stillRunning;
};

namespace KsExecution {
enum class DeferralCode : uint32_t;
}

// What one launch did, for the engine's picture of the task and its history.
struct LaunchReport {
    struct Deferral {
        uint32_t code;   // a KsExecution::DeferralCode
        uint32_t delay;  // seconds
        uint32_t error;
    };
    uint32_t time = 0;         // when the launch began, seconds since 1970
    uint32_t result = 0;       // Launch's result
    bool attempted = false;    // past the checks and the validation: a start was tried
    bool started = false;      // the program started, or the trigger event was looked for
    std::optional<uint32_t> exitCode;  // the program's, when it had ended by the end of the wait
    // The program's tree, when it had ended by the end of the wait and its job told: user plus
    // kernel time, and the peak of its committed memory.
    std::optional<uint64_t> cpuMs;
    std::optional<uint64_t> peakMemoryBytes;
    uint32_t durationMs = 0;   // the whole launch, checks and wait included
    std::optional<Deferral> deferral;  // the deferral it reported, a refused or failed start included
    uint32_t launchCount = 0;  // launches since the task's last completed run, to carry to the next
};

class CSingleTask : public CKsTask {
public:
    explicit CSingleTask(const wchar_t* pwszName, SingleTaskServices services = {});
    ~CSingleTask() override;

    // 0 when the task ran (finished or not) or was deferred; the start error when the program did
    // not start; the validation result when the file was refused; the module look-up error of the
    // on-demand scan task; 1602 when exitEvent ended the wait. *deletedOut is 1 when the task's
    // key was deleted (a run-once task).
    DWORD Launch(DWORD* deletedOut, DWORD finishWaitSeconds, HANDLE exitEvent);

    // What a launch now would decide before it starts the program, asking `probes` and writing
    // nothing: the deferral of its checks, else the validation's refusal of the program, else none.
    // Call after Read, instead of Launch.
    std::optional<LaunchReport::Deferral> WouldDefer(const KsPlatform::ProbeServices& probes);

    // Next run = now + dwSeconds ("LogonNextRun" for logon and reboot tasks). True when written.
    bool WriteNextRunFromNow(DWORD dwSeconds);
    // The regular advance after a run: by the period, the calendar rule or the preset.
    bool WriteNextRunAfterRun();
    // Logs, publishes "TaskScheduler.Task.Deferred.<name>" and sends the analytics event.
    void SendTaskDeferredMessage(const std::wstring& reason, DWORD code, DWORD dwDeltaTime, DWORD dwError);

    bool _IsProcessRunning(const wchar_t* name1, const wchar_t* name2);

    // Reports through `bus` instead of a client of the task's own: making a client per launch
    // costs more than the launch's other bookkeeping together.
    void UseBus(std::shared_ptr<Tessel::MessageBusClient> bus) { m_pBus = std::move(bus); }
    // The launches since the task's last completed run, carried from the launch before.
    void CarryLaunchCount(DWORD count) { m_dwLaunchCount = count; }
    // A run asked for out of turn: the calendar advance then starts at the run's moment, so a
    // slot still ahead of it (tonight's) is kept instead of being counted as run.
    void scheduleFromRunMoment() { m_scheduleFromRunMoment = true; }
    const LaunchReport& report() const { return m_report; }

protected:
    KsZARNPartnerCustomization m_customization;
    // The five launch settings, read (or defaulted) as each launch starts.
    DWORD m_dwBatteryPollInterval = 0;
    DWORD m_dwMeteredAccessPollInterval = 0;
    DWORD m_dwMeteredAccessAttemptsAllowed = 0;
    DWORD m_dwMeteredAccessAttemped = 0;
    DWORD m_dwStopUpdatesOnBattery = 0;
    DWORD m_dwUpdateBatteryTimeout = 0;
    DWORD m_dwLogonNextRun = 0;
    DWORD m_dwLaunchCount = 0;
    DWORD m_dwLoadedNextRun = 0;  // "NextRun" as last read or written by this object
    bool m_scheduleFromRunMoment = false;
    std::shared_ptr<Tessel::MessageBusClient> m_pBus;

private:
    struct Run;

    DWORD launchProgram(DWORD* deletedOut, DWORD finishWaitSeconds, HANDLE exitEvent);
    // Reports the deferral with its code's reason word and keeps it in the report.
    void deferLaunch(KsExecution::DeferralCode code, DWORD delay, DWORD error);

    void prepareLaunch();
    // The calendar step of the advance after a run at `now`.
    void advanceByCalendar(uint32_t now);
    // The launch settings and the task's counters, as a launch starting now reads them.
    void readLaunchState();
    void readLaunchSettings();
    bool isUpdateTask() const;
    bool isTask(const wchar_t* name) const;
    // The update task's age test: true once it has been held back on battery for
    // m_dwUpdateBatteryTimeout days; marks the first hold-back when `mark` is set.
    bool updateBatteryWaitIsOver(bool mark);

    bool batteryDefers(bool mark);
    bool metroModeDefers();
    bool meteredDefers();
    // The first check that defers the launch now, in the launch's order; none when it may run.
    std::optional<LaunchReport::Deferral> firstDeferral(bool mark);
    // Reports the deferral and writes what it moves (the next run, the metered count); the
    // launch's result.
    DWORD applyDeferral(const LaunchReport::Deferral& deferral);
    void advanceBeforeRun(DWORD* deletedOut);
    Keelwork::unique_event createCompletionEvent();
    DWORD startProgram(Run& run);
    void setTriggerEvent(Run& run);
    DWORD waitForFinish(Run& run, DWORD finishWaitSeconds, HANDLE exitEvent);
    void reportCompletion(const Run& run);

    // Reads and writes of the task's own values, in their protected form.
    bool readTaskDword(const wchar_t* valueName, DWORD& value) const;
    bool writeTaskDword(const wchar_t* valueName, DWORD value);
    // Writes "NextRun" unless it was changed in the store since this object loaded it; a change
    // made meanwhile (a user's, through task management) is kept and taken into dwNextRun.
    bool writeNextRun(DWORD value);
    void resetOccasions();
    void publishReport(const std::wstring& topic, const std::wstring& payload);

    SingleTaskServices m_services;
    LaunchReport m_report;
    const KsPlatform::ProbeServices* m_probes = nullptr;  // set for the length of Launch
};
