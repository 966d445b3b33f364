// What the engine does, one step at a time on its thread: it moves its phase, builds its run queue
// and starts the pump (Trigger), re-reads its tasks (Refresh), switches auto-maintenance, arms its
// timers and runs the pump's step. The engine's events (EngineEvents) and its start call these.
//
// Threading: the engine thread only.
#pragma once

#include "engine/EngineParts.h"
#include "engine/RefreshScope.h"
#include "engine/EngineTransitions.h"

#include <cstdint>

namespace Keelwork::engine {

class EngineSteps {
public:
    explicit EngineSteps(EngineParts& parts) : m_parts(parts) {}
    EngineSteps(const EngineSteps&) = delete;
    EngineSteps& operator=(const EngineSteps&) = delete;

    // The engine's one record of its phase is its board: it moves by `input` (the time and the
    // auto-maintenance switch filled in here), and the move's actions are carried out.
    void move(EngineInput input);
    // 13 without a task manager, else 0.
    DWORD Trigger();
    // Re-reads the tasks of `scope` and triggers.
    DWORD Refresh(RefreshScope scope = RefreshScope::everything);
    // The engine's own switch of auto-maintenance (another module's goes through EngineEvents).
    void SetAMMode(bool bAMMode);
    // A user logged on: the log-on tasks are queued and the engine triggered.
    void _UserLoginDetected();
    // A run-now request arrived: a running engine builds its queue now.
    void onRunNow();

    // Timers (EngineTimers.cpp).
    void _SetTimer(DWORD seconds);
    void _SetTaskWaitableTimer(uint32_t hint);
    void InitialKickStart(bool bOobe);

    // The pump's step (TaskExecutionPump.cpp).
    void _TaskExecutionPump();

private:
    // The tasks asked to run now: handed to the task list, where they wait for the next queue build.
    void takeRunNowRequests();
    void runTopTask();

    EngineParts& m_parts;
};

} // namespace Keelwork::engine
