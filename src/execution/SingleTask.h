// CSingleTask: one task being executed. The engine constructs it by name, calls Read, then
// Launch once. Launch decides whether the task may run now (battery, touch-first mode, metered
// connection, a running on-demand scan), writes the next run before the task starts, validates
// the program file, starts it (or sets the task's trigger event), waits for it within a limit and
// reports the outcome in the log, on the bus and in analytics events. A task that may not run now
// is deferred: its next run moves into the future and the deferral is reported.
//
// Used on the engine thread only. The engine keeps one object per task; the settings, the launch
// counters and the bus client are read and made when a launch starts. What outlives a launch is
// in the registry.
#pragma once

#include "common/UniqueHandle.h"
#include "customization/KsPartnerCustomizationCommon.h"
#include "store/KsTask.h"

#include <functional>
#include <memory>
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
    KsExecution::ITrustValidator* trust = nullptr;
    // The function table process creation uses.
    std::function<std::unique_ptr<CKsWin32APIBase>()> win32;
    std::function<bool(const wchar_t* name1, const wchar_t* name2)> isProcessRunning;
    std::function<DWORD(const wchar_t* clsid, std::wstring& moduleName, std::wstring& longModuleName)>
        moduleNameFromClsid;
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

protected:
    std::wstring m_strReasons[12];
    KsZARNPartnerCustomization m_customization;
    DWORD m_dwBatteryPollInterval = 3600;
    DWORD m_dwMeteredAccessPollInterval = 3600;
    DWORD m_dwMeteredAccessAttemptsAllowed = 5;
    DWORD m_dwMeteredAccessAttemped = 0;
    DWORD m_dwStopUpdatesOnBattery = 0;
    DWORD m_dwUpdateBatteryTimeout = 3;
    DWORD m_dwLogonNextRun = 0;
    DWORD m_dwLaunchCount = 0;
    DWORD m_dwLoadedNextRun = 0;  // "NextRun" as last read or written by this object
    std::shared_ptr<Tessel::MessageBusClient> m_pBus;

private:
    struct Run;

    void _PrepareLaunch();
    void _ReadSettings();
    bool _IsUpdateTask() const;
    bool _IsTask(const wchar_t* name) const;
    // The update task's age test: true once it has been held back on battery for
    // m_dwUpdateBatteryTimeout days; marks the first hold-back.
    bool _UpdateBatteryWaitIsOver();

    bool _DeferOnBattery();
    bool _DeferInMetroMode();
    bool _DeferOnMeteredAccess();
    bool _CheckOnDemandScan(DWORD& result);
    bool _DeferUpdateWhileScanRuns();
    void _AdvanceBeforeRun(DWORD* deletedOut);
    Keelwork::unique_event _CreateCompletionEvent();
    DWORD _StartProgram(Run& run);
    void _SetTriggerEvent(Run& run);
    DWORD _WaitForFinish(Run& run, DWORD finishWaitSeconds, HANDLE exitEvent);
    void _ReportCompletion(const Run& run);

    // Reads and writes of the task's own values, in their protected form.
    bool _ReadTaskDword(const wchar_t* valueName, DWORD& value) const;
    bool _WriteTaskDword(const wchar_t* valueName, DWORD value);
    // Writes "NextRun" unless it was changed in the store since this object loaded it; a change
    // made meanwhile (a user's, through task management) is kept and taken into dwNextRun.
    bool _WriteNextRun(DWORD value);
    void _ResetOccasions();
    void _Publish(const std::wstring& topic, const std::wstring& payload);

    SingleTaskServices m_services;
    const KsPlatform::ProbeServices* m_probes = nullptr;  // set for the length of Launch
};
