// CKsTaskScheduler: the engine. It lives on its own thread, TSThread, started by the scheduler
// module and stopped through the module's exit event. The thread owns a hidden window (window
// timers, private messages, power notifications), a waitable timer that fires when the next task
// falls due, and the events through which the rest of the system wakes it. Everything the engine
// does happens on this thread, one step at a time, driven by TSThread's wait loop.
//
// Threading: only the engine thread touches the engine and its task manager, except
// requestAMMode (any thread, under m_lock) and OnInstallComplete (a bus thread: two flags and a
// posted message). The fields those two read are atomic; every other field is the engine thread's.
#pragma once

#include "common/UniqueHandle.h"
#include "customization/KsPartnerCustomizationCommon.h"
#include "engine/RunningEngine.h"
#include "engine/SchedulerSettings.h"

#include <atomic>
#include <memory>

struct IGlobalInterfaceTable;
struct _tagTSHANDLES;

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
    // Applies the switch and publishes the response where one is due (after m_lock is released).
    void SetAMMode(bool bAMMode, void* pContext, bool bInternalCall);
    std::unique_ptr<AutoMaintenanceResponse> requestAMMode(bool on) override;
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
    // The thread's work between its checks of the handles and its COM set-up.
    static DWORD runThread(const _tagTSHANDLES* handles);
    // Under m_lock: the switch, and the response still to publish, if any.
    std::unique_ptr<AutoMaintenanceResponse> decideAMMode(bool bAMMode, bool bInternalCall);
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
    // The thread's loop; returns when the exit event fires, a wait fails or a window message
    // ended on an unexpected exception (false then).
    bool _Run(HANDLE exitEvent, HANDLE logonEvent);

    std::atomic<HWND> m_hWnd{nullptr};  // read by OnInstallComplete
    unique_handle m_hTimer;
    unique_event m_hNewTaskEvent;
    ATOM m_atom = 0;
    HINSTANCE m_hInstance = nullptr;
    std::unique_ptr<CKsTaskManager> m_pTaskManager;
    SchedulerSettings m_settings;
    std::atomic<DWORD> m_bSuspended{0};
    std::atomic<DWORD> m_bStarted{0};
    DWORD m_dwRebootDelay = 0;
    DWORD m_bRebooted = 0;
    DWORD m_bFullScreenTimedOut = 0;
    KsZARNPartnerCustomization m_customization;
    DWORD m_bIdlePhaseDone = 0;
    // When the pump began waiting for an idle user and first saw a full-screen application
    // (seconds since 1970; 0 = not waiting). The engine's rather than process-wide: a wait
    // accumulates across the timer hits of one engine, and a restarted engine starts afresh.
    uint64_t m_idleWaitStart = 0;
    uint64_t m_fullScreenStart = 0;
    DWORD m_dwOobeStartDelay = 0;
    std::atomic<DWORD> m_bAMMode{0};  // written under m_lock; read by the engine thread without it
    unique_event m_hAMModeEvent;
    IGlobalInterfaceTable* m_pGIT = nullptr;  // released by the destructor
    DWORD m_dwGITCookie = 0;
    CKsLock m_lock;
    DWORD m_bAMEnabled = 1;
    DWORD m_dwAMFutureWindow = 43200;
    std::shared_ptr<Tessel::MessageBusClient> m_pBus;
    bool m_bInstallSubscribed = false;
    std::atomic<DWORD> m_bInstalling{0};
    std::atomic<DWORD> m_bInstallCompleted{0};
    bool m_bSafeMode = false;    // a clean boot: suspended for the engine's life, out-of-box or not
    bool m_bWindowFailed = false;  // a window message ended on an unexpected exception
    HANDLE m_hExitEvent = nullptr;  // the module's; not owned
    std::unique_ptr<RunningEngineRegistration> m_link;
};

} // namespace Keelwork::engine
