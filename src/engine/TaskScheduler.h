// CKsTaskScheduler: the engine's face. It lives on its own thread, TSThread, started by the
// scheduler module and stopped through the module's exit event, and puts together the engine's
// parts: the loop (EngineLoop, EngineWindow: the thread's wait, its hidden window and timers), the
// start gate (StartGate, OutOfBox), the task list and run queue (CKsTaskManager), the pump's holds
// (PumpPolicy) and the auto-maintenance switch (AutoMaintenance). Everything it does happens on its
// thread, one step at a time. Its phase has one record, its EngineStateBoard: the engine decides
// from what the board says (started, suspended) and moves it only through the transitions of
// EngineTransitions.h; any thread may read the board, only the engine thread writes it, and it is
// mirrored into the registry for other processes between two steps of its loop.
//
// Threading: only the engine thread touches the engine, except requestAMMode (any thread; the
// switch has its own lock, and a run stopped is posted to the engine thread), requestRunNow (any
// thread: a list under its own lock and a posted message) and OnInstallComplete (a bus thread:
// the start gate's atomic flags and a posted message).
#pragma once

#include "customization/KsPartnerCustomizationCommon.h"
#include "engine/AutoMaintenance.h"
#include "engine/BusSubscription.h"
#include "engine/EngineLoop.h"
#include "engine/EngineTransitions.h"
#include "state/EngineState.h"
#include "state/StateMirror.h"
#include "engine/EngineWindow.h"
#include "engine/HeadTaskDecision.h"
#include "engine/OutOfBox.h"
#include "engine/RunningEngine.h"
#include "engine/SchedulerSettings.h"
#include "engine/StartGate.h"
#include "engine/StoppedOnExit.h"

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

class CKsTaskScheduler final : public EngineTarget, private EngineLoopHandler, private EngineWindowHandler {
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
    // EngineWindowHandler.
    LRESULT onWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    bool _Handle_WM_TIMER(UINT_PTR id);

    // EngineLoopHandler.
    void onTimer() override;
    void onNewTask() override;
    void onLogon() override;
    void onAutoMaintenance() override;
    void betweenSteps() override { m_mirror.follow(*m_board); }

    bool createObjects();
    void subscribeInstaller();
    void readSettings();
    void checkInstall();
    // The start, once _Init succeeded: the out-of-box start (not while suspended) or the start
    // delay.
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

    // The engine's one record of its phase is its board: it moves by `input` (the time and the
    // auto-maintenance switch filled in here), and the move's actions are carried out. Engine
    // thread only.
    void move(EngineInput input);

    // Declared in the order the engine needs them and destroyed in reverse, which is its teardown:
    // first the link other threads reach the engine by (it waits for their calls), the installer's
    // subscription (it waits for a message in flight), the bus, the pump and the task list; then
    // the loop and the window; last the board's final word, "stopped".
    HANDLE m_hExitEvent;  // the module's; not owned
    HINSTANCE m_hInstance = nullptr;
    std::shared_ptr<EngineStateBoard> m_board;
    KsState::StateMirror m_mirror;  // the board, told to other processes
    StoppedOnExit m_stoppedOnExit{*m_board, m_mirror};
    KsZARNPartnerCustomization m_customization;
    SchedulerSettings m_settings;
    StartGate m_gate;
    OutOfBox m_outOfBox;
    AutoMaintenance m_am;
    EngineWindow m_window;
    EngineLoop m_loop;
    std::unique_ptr<CKsTaskManager> m_pTaskManager;
    SystemPumpProbes m_probes;
    PublishedPumpState m_pump;
    std::shared_ptr<Tessel::MessageBusClient> m_pBus;
    BusSubscription m_installer;
    SRWLOCK m_runNowLock = SRWLOCK_INIT;
    std::vector<std::wstring> m_runNowAsked;  // by other threads, under m_runNowLock
    std::unique_ptr<RunningEngineRegistration> m_link;
};

} // namespace Keelwork::engine
