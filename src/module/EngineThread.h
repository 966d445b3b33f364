// The engine thread and the two events it is handed, owned together. Whatever order the host
// calls in (a second start, a second stop, a destroy without a stop), at most one engine thread
// runs, and the owner's destructor stops and joins it: no thread outlives the module.
//
// Threading: the host's life-cycle thread only.
#pragma once

#include "common/UniqueHandle.h"
#include "engine/TSHandles.h"

namespace Tessel {

class WindowsEventAPI;

class EngineThread {
public:
    // `events` creates, sets and closes the two events; it must outlive the owner.
    explicit EngineThread(WindowsEventAPI& events) noexcept : m_events(events) {}
    ~EngineThread() { stop(); }

    EngineThread(const EngineThread&) = delete;
    EngineThread& operator=(const EngineThread&) = delete;

    // True while the thread runs (it may end by itself when the engine cannot start or fails).
    bool running() const;
    enum class Start { started, noEvents, noThread };
    // Creates both events and starts the thread, after taking down an ended one. Nothing runs
    // unless it answers started; an event it made stays open until the stop.
    Start start();
    // Sets the exit event, joins the thread and closes both events. Safe to repeat.
    void stop();

private:
    WindowsEventAPI& m_events;
    _tagTSHANDLES m_handles;
    Keelwork::unique_handle m_thread;
};

} // namespace Tessel
