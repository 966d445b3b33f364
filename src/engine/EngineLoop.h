// The engine thread's wait loop and the objects it waits on that the engine makes itself: the
// waitable timer that fires when the next task falls due, the read-ahead timer that fires a moment
// before it, and the new-task event that task management sets. Each wake-up is handed to the
// engine, one at a time.
//
// Threading: the engine thread only.
#pragma once

#include "common/UniqueHandle.h"
#include "engine/RunNowListener.h"
#include "engine/EngineWindow.h"

#include <cstdint>

namespace Keelwork::engine {

// What the engine does when the loop wakes for one of its handles. Window messages go to the
// engine's window, whose procedure forwards them.
class EngineLoopHandler {
public:
    virtual void onTimer() = 0;
    virtual void onNewTask() = 0;
    // Tasks were changed in this process: the inbox of changes names them.
    virtual void onChangedTasks() = 0;
    virtual void onLogon() = 0;
    virtual void onAutoMaintenance() = 0;
    // The read-ahead timer fell due: a moment before the timer does.
    virtual void onReadAhead() = 0;
    // Before a wait with no message in hand: the steps before it (or the start) are over.
    virtual void betweenSteps() = 0;

protected:
    EngineLoopHandler() = default;
    ~EngineLoopHandler() = default;
    EngineLoopHandler(const EngineLoopHandler&) = delete;
    EngineLoopHandler& operator=(const EngineLoopHandler&) = delete;
};

class EngineLoop {
public:
    EngineLoop() = default;
    ~EngineLoop();
    EngineLoop(const EngineLoop&) = delete;
    EngineLoop& operator=(const EngineLoop&) = delete;

    // The named synchronization timer (with the unnamed read-ahead timer, which the engine does
    // without when it cannot be made) and the named auto-reset new-task event; null on failure.
    // The new-task event comes with the wake of this process's inbox of changes (waited on when
    // there is one): a change made here names its task, one made elsewhere only sets the event.
    HANDLE createTimer();
    HANDLE createNewTaskEvent();
    HANDLE newTaskEvent() const { return m_newTask.get(); }
    // Starts hearing run-now requests from other processes; false on failure (they then find no
    // engine). Once the engine is linked as the running one: the first request may come at once.
    bool startRunNowListener() { return m_runNow.start(); }

    // Arms the timer once, `units` of 100 ns from now (at least one). False with the system's
    // error in GetLastError() when it cannot be armed.
    bool armIn(int64_t units);
    // The read-ahead timer, likewise; false when there is none or it cannot be armed.
    bool armReadAheadIn(int64_t units);
    // Both timers.
    void cancelTimer();

    // Waits until the exit event is set (true), a wait fails (true) or a message to `window`
    // failed (false). Each turn serves every handle that is set, in this order: the timer, the
    // new-task event, the exit event, the log-on event, the auto-maintenance event, the read-ahead
    // timer, the inbox of changes; then the window's messages.
    bool run(HANDLE exitEvent, HANDLE logonEvent, HANDLE amEvent, const EngineWindow& window,
             EngineLoopHandler& handler);

private:
    enum class Wake { timer, newTask, exit, logon, maintenance, readAhead, changed };
    // The action for `wake`; false for the exit event.
    static bool serve(Wake wake, EngineLoopHandler& handler);
    // Dispatches the queued messages; false when one of them failed.
    static bool drainMessages(const EngineWindow& window);

    unique_handle m_timer;
    unique_handle m_readAhead;
    unique_event m_newTask;
    HANDLE m_changed = nullptr;  // owned by the inbox, which this loop listens to while it is set
    RunNowListener m_runNow;
};

} // namespace Keelwork::engine
