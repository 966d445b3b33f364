// CKsTaskScheduler: the engine. It lives on its own thread, TSThread, started by the scheduler
// module and stopped through the module's exit event. The thread owns a hidden window (window
// timers, private messages, power notifications), a waitable timer that fires when the next task
// falls due, and the events through which the rest of the system wakes it. Everything the engine
// does happens on this thread, one step at a time, driven by TSThread's wait loop.
//
// Threading: only the engine thread touches the engine and its task manager, except SetAMMode
// (any thread, under m_lock) and OnInstallComplete (a bus thread: two flags and a posted message).
#pragma once

#include "common/UniqueHandle.h"
#include "customization/KsPartnerCustomizationCommon.h"
#include "engine/RunningEngine.h"
#include "engine/SchedulerSettings.h"

#include <memory>

struct IGlobalInterfaceTable;

namespace Tessel {
class Message;
class MessageBusClient;
}

namespace Keelwork::engine {

class CKsTaskManager;

// A critical section with a virtual destructor.
class CKsLock {
public:
    CKsLock() { ::InitializeCriticalSection(&m_section); }
    virtual ~CKsLock() { ::DeleteCriticalSection(&m_section); }
    CKsLock(const CKsLock&) = delete;
    CKsLock& operator=(const CKsLock&) = delete;
    void Lock() { ::EnterCriticalSection(&m_section); }
    void Unlock() { ::LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

class CKsTaskScheduler final : public AutoMaintenanceTarget {
public:
    // The thread procedure; `param` points to the module's _tagTSHANDLES. 0 after an orderly
    // stop, 0xFFFFFFFF when the engine could not start.
    static DWORD WINAPI TSThread(void* param);

    CKsTaskScheduler();
    virtual ~CKsTaskScheduler();

    bool _Init(HANDLE exitEvent);
    // 13 without a task manager, else 0.
    DWORD Trigger();
    DWORD Refresh();
    void SetAMMode(bool bAMMode, void* pContext, bool bInternalCall) override;
    uint32_t OnInstallComplete(const std::shared_ptr<Tessel::Message>& message);
    void InitialKickStart(bool bOobe);

    // False only when the exit event fired while waiting for the OEM set-up to finish.
    bool _CheckOobedone(HANDLE exitEvent);
    // Reads "oobemode" and deletes it.
    DWORD ReadOobeMode();
    DWORD _InitOobeWaitPerTask(DWORD seconds);
    bool _RefreshOobeWaitPerTask();

    void _SetTimer(DWORD seconds);
    void _SetTaskWaitableTimer(uint32_t hint);

private:
    static LRESULT CALLBACK _WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT _HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool _Handle_WM_TIMER(UINT_PTR id);
    void _UserLoginDetected();
    void _JustBeforeSuspend();
    void _ResumeAfterSuspend();
    void _SuspendWasAborted();
    void _TaskExecutionPump();
    // The pump's idle phase; true when the head task was deferred and the pump must return.
    bool _DeferForIdle(uint32_t now);
    bool _DeferForFullScreen();
    void _RunTopTask();

    bool _CreateWindow();
    bool _CreateObjects();
    void _ReadSettings();
    void _CheckInstall();
    void _OobeCheck();
    // The thread's start in OOBE mode: stays suspended while a restart is pending.
    void _OobeStart();
    // Leaves OOBE mode once no task is held and the global wait has passed.
    void _OobeExpiry();
    void _CheckReboot();
    void _CheckRestartAndSafeMode();
    void _CancelTimer();
    bool _ConnectedStandby();
    void _PublishAMResponse();
    // The thread's loop; returns when the exit event fires or a wait fails.
    void _Run(HANDLE exitEvent, HANDLE logonEvent);

    HWND m_hWnd = nullptr;
    unique_handle m_hTimer;
    unique_event m_hNewTaskEvent;
    ATOM m_atom = 0;
    HINSTANCE m_hInstance = nullptr;
    std::unique_ptr<CKsTaskManager> m_pTaskManager;
    SchedulerSettings m_settings;
    DWORD m_bSuspended = 0;
    DWORD m_bStarted = 0;
    DWORD m_dwRebootDelay = 0;
    DWORD m_bRebooted = 0;
    DWORD m_bFullScreenTimedOut = 0;
    KsZARNPartnerCustomization m_customization;
    DWORD m_bIdlePhaseDone = 0;
    DWORD m_dwOobeStartDelay = 0;
    volatile DWORD m_bAMMode = 0;  // written under m_lock; read by the engine thread without it
    unique_event m_hAMModeEvent;
    IGlobalInterfaceTable* m_pGIT = nullptr;  // released by the destructor
    DWORD m_dwGITCookie = 0;
    CKsLock m_lock;
    DWORD m_bAMEnabled = 1;
    DWORD m_dwAMFutureWindow = 43200;
    std::shared_ptr<Tessel::MessageBusClient> m_pBus;
    bool m_bInstallSubscribed = false;
    volatile DWORD m_bInstalling = 0;
    volatile DWORD m_bInstallCompleted = 0;
    HANDLE m_hExitEvent = nullptr;  // the module's; not owned
    std::unique_ptr<RunningEngineRegistration> m_link;
};

} // namespace Keelwork::engine
