// CKsTaskScheduler: the engine's face. It lives on its own thread, TSThread, started by the
// scheduler module and stopped through the module's exit event, and puts together the engine's
// parts: the loop (EngineLoop, EngineWindow: the thread's wait, its hidden window and timers), the
// start gate (StartGate), the task list and run queue (CKsTaskManager), the pump's holds
// (PumpPolicy) and the auto-maintenance switch (AutoMaintenance). Everything it does happens on its
// thread, one step at a time, and it writes its state at every transition to its EngineStateBoard,
// which any thread may read, and which it mirrors into the registry for other processes between
// two steps of its loop.
//
// Threading: only the engine thread touches the engine, except requestAMMode (any thread; the
// switch has its own lock), requestRunNow (any thread: a list under its own lock and a posted
// message) and OnInstallComplete (a bus thread: the start gate's atomic flags and a
// posted message).
#pragma once

#include "customization/KsPartnerCustomizationCommon.h"
#include "engine/AutoMaintenance.h"
#include "engine/EngineLoop.h"
#include "state/EngineState.h"
#include "state/StateMirror.h"
#include "engine/EngineWindow.h"
#include "engine/HeadTaskDecision.h"
#include "engine/RunningEngine.h"
#include "engine/SchedulerSettings.h"
#include "engine/StartGate.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct _tagTSHANDLES;

namespace Tessel {
class Message;
class MessageBusClient;
}

namespace Keelwork::engine {

using KsState::EnginePhase;
using KsState::EngineReason;
using KsState::EngineState;
using KsState::EngineStateBoard;
using KsState::publishEngineStateBoard;

class CKsTaskManager;

// The pump's questions, answered by the platform's probes; a bus question ends early when the
// engine stops, and goes through the engine's own bus client once it has one. Within one pump step
// the connected-standby answer the step began with is the answer: the idle and full-screen probes
// do not ask the system monitor again microseconds later, one bus round trip before each start.
class SystemPumpProbes final : public PumpProbes {
public:
    explicit SystemPumpProbes(HANDLE exitEvent) : m_exitEvent(exitEvent) {}
    void useBus(std::shared_ptr<Tessel::MessageBusClient> bus) { m_bus = std::move(bus); }
    // A pump step begins: nothing is known of it yet.
    void beginStep() { m_standby.reset(); }
    bool idle() override;
    bool fullScreen() override;
    bool connectedStandby();
    bool updateInstalling();

private:
    HANDLE m_exitEvent;  // not owned
    std::shared_ptr<Tessel::MessageBusClient> m_bus;
    std::optional<bool> m_standby;  // this step's connected-standby answer, once asked
};

class CKsTaskScheduler final : public EngineTarget, private EngineLoopHandler {
public:
    // The thread procedure; `param` points to the module's _tagTSHANDLES. 0 after an orderly
    // stop, 0xFFFFFFFF when the engine could not start or ended on an unexpected exception.
    static DWORD WINAPI TSThread(void* param);

    explicit CKsTaskScheduler(HANDLE exitEvent);
    virtual ~CKsTaskScheduler();

    bool _Init(HANDLE exitEvent);
    // 13 without a task manager, else 0.
    DWORD Trigger();
    DWORD Refresh();
    // Applies the switch and publishes the response where one is due, after the switch's lock.
    void SetAMMode(bool bAMMode, void* pContext, bool bInternalCall);
    std::unique_ptr<AutoMaintenanceResponse> requestAMMode(bool on) override;
    void requestRunNow(const std::wstring& name) override;
    PumpView decisionView() const override { return {m_pump.read(), m_am.on(), m_settings}; }
    uint32_t OnInstallComplete(const std::shared_ptr<Tessel::Message>& message);
    void InitialKickStart(bool bOobe);
    void _SetTimer(DWORD seconds);
    void _SetTaskWaitableTimer(uint32_t hint);

private:
    static DWORD runThread(const _tagTSHANDLES* handles);
    // The switch; the response still to publish, if any.
    std::unique_ptr<AutoMaintenanceResponse> requestAMMode(bool on, bool internal);
    static LRESULT CALLBACK _WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT _HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool _Handle_WM_TIMER(UINT_PTR id);

    // EngineLoopHandler.
    void onTimer() override;
    void onNewTask() override;
    void onLogon() override;
    void onAutoMaintenance() override;
    bool windowFailed() const override { return m_bWindowFailed; }
    void betweenSteps() override { m_mirror.follow(*m_board); }

    bool _CreateObjects();
    void _SubscribeInstaller();
    void _ReadSettings();
    void _CheckInstall();
    void _OobeCheck();
    // The thread's start in OOBE mode: stays suspended while a restart is pending or in safe mode.
    void _OobeStart();
    // Leaves OOBE mode once no task is held and the global wait has passed.
    void _OobeExpiry();
    void _CheckRestartAndSafeMode();
    // The start, once _Init succeeded: the out-of-box start or the start delay.
    void start();

    void _UserLoginDetected();
    // The tasks asked to run now: handed to the task list, where they wait for the next queue build.
    void _TakeRunNowRequests();
    // A run-now request arrived: a running engine builds its queue now.
    void _OnRunNow();
    void _JustBeforeSuspend();
    void _ResumeAfterSuspend();
    void _SuspendWasAborted();

    void _TaskExecutionPump();
    void _RunTopTask();
    void _CancelTimer();

    // The engine's state, told to the board: the phase and reason since now, until `until`.
    void enterPhase(EnginePhase phase, EngineReason reason = EngineReason::none, uint32_t until = 0);
    // The phase the engine runs in once started: running, or auto-maintenance during a run.
    void enterRunningPhase();

    HANDLE m_hExitEvent;  // the module's; not owned
    HINSTANCE m_hInstance = nullptr;
    std::shared_ptr<EngineStateBoard> m_board;
    KsState::StateMirror m_mirror;  // the board, told to other processes
    EngineWindow m_window;
    EngineLoop m_loop;
    std::unique_ptr<CKsTaskManager> m_pTaskManager;
    SchedulerSettings m_settings;
    KsZARNPartnerCustomization m_customization;
    StartGate m_gate;
    AutoMaintenance m_am;
    SystemPumpProbes m_probes;
    PublishedPumpState m_pump;
    std::atomic<uint32_t> m_bSuspended{0};
    std::atomic<uint32_t> m_bStarted{0};
    EngineReason m_suspension = EngineReason::none;
    bool m_bWindowFailed = false;  // a window message ended on an unexpected exception
    std::shared_ptr<Tessel::MessageBusClient> m_pBus;
    bool m_bInstallSubscribed = false;
    std::unique_ptr<RunningEngineRegistration> m_link;
    SRWLOCK m_runNowLock = SRWLOCK_INIT;
    std::vector<std::wstring> m_runNowAsked;  // by other threads, under m_runNowLock
};

} // namespace Keelwork::engine
