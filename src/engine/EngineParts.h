// The engine's parts, put together for its life: its record of its phase and the mirror that
// tells it to other processes, its settings and start gate, the loop with its window and timers,
// the task list and run queue with the reading ahead of the next launch, the pump's probes and
// holds, the auto-maintenance switch, its bus client and the run-now requests other threads left
// for it.
//
// Declared in the order the engine needs them and destroyed in reverse, which is its teardown:
// first the run-now requests, the bus, the pump and the task list; then the loop and the window;
// last the board's final word, "stopped".
//
// Threading: the engine thread, except where a part says otherwise (the board may be read
// anywhere, the switch and the run-now requests have their own locks, the window may be posted to).
#pragma once

#include "customization/KsPartnerCustomizationCommon.h"
#include "engine/AutoMaintenance.h"
#include "engine/EngineLoop.h"
#include "engine/EngineWindow.h"
#include "engine/HeadTaskDecision.h"
#include "engine/LaunchReadAhead.h"
#include "engine/OutOfBox.h"
#include "engine/PumpPolicy.h"
#include "engine/RunNowRequests.h"
#include "engine/SchedulerSettings.h"
#include "engine/StartGate.h"
#include "engine/StoppedOnExit.h"
#include "engine/SystemPumpProbes.h"
#include "state/EngineState.h"
#include "state/StateMirror.h"
#include "store/TaskMemory.h"

#include <memory>

namespace Tessel {
class MessageBusClient;
}

namespace Keelwork::engine {

class CKsTaskManager;

struct EngineParts {
    explicit EngineParts(HANDLE exitEvent);
    ~EngineParts();
    EngineParts(const EngineParts&) = delete;
    EngineParts& operator=(const EngineParts&) = delete;

    // What the head task's fate is decided from besides the machine, as it is now.
    PumpView pumpView() const { return {m_pump.read(), m_am.on(), m_settings}; }

    HANDLE m_hExitEvent;  // the module's; not owned
    HINSTANCE m_hInstance = nullptr;
    std::shared_ptr<KsState::EngineStateBoard> m_board;
    // The answers keep what they read of the tasks while the engine, which sees every change, runs.
    KsStore::TaskMemory::Hold m_taskMemory;
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
    LaunchReadAhead m_readAhead;  // after the task list: lets its file go while the list's validator lives
    SystemPumpProbes m_probes;
    PublishedPumpState m_pump;
    std::shared_ptr<Tessel::MessageBusClient> m_pBus;
    RunNowRequests m_runNow;
};

} // namespace Keelwork::engine
