// CKsTaskScheduler: the engine's face. It lives on its own thread, TSThread, started by the
// scheduler module and stopped through the module's exit event; it puts together the engine's
// parts (EngineParts), builds them in their order (_Init), starts the engine and hands what
// happens to the parts that answer it: what wakes the engine to its events (EngineEvents), what it
// does about it to its steps (EngineSteps). Everything it does happens on its thread, one step at
// a time. Its phase has one record, its EngineStateBoard: the engine decides from what the board
// says (started, suspended) and moves it only through the transitions of EngineTransitions.h; any
// thread may read the board, only the engine thread writes it, and it is mirrored into the
// registry for other processes between two steps of its loop.
//
// Threading: only the engine thread touches the engine, except what other threads ask through
// EngineTarget and the installer's message (see EngineEvents).
#pragma once

#include "engine/BusSubscription.h"
#include "engine/EngineEvents.h"
#include "engine/EngineParts.h"
#include "engine/EngineSteps.h"
#include "engine/RunningEngine.h"

#include <memory>
#include <string>

namespace Keelwork::engine {

class CKsTaskScheduler final : public EngineTarget {
public:
    // The thread procedure; `param` points to the module's _tagTSHANDLES. 0 after an orderly
    // stop, 0xFFFFFFFF when the engine could not start or ended on an unexpected exception.
    static DWORD WINAPI TSThread(void* param);

    explicit CKsTaskScheduler(HANDLE exitEvent);
    virtual ~CKsTaskScheduler();

    bool _Init(HANDLE exitEvent);

    // EngineTarget, answered by the engine's events.
    std::unique_ptr<AutoMaintenanceResponse> requestAMMode(bool on) override { return m_events.requestAMMode(on); }
    void requestRunNow(const std::wstring& name) override { m_events.requestRunNow(name); }
    PumpView decisionView() const override { return m_parts.pumpView(); }

private:
    // The start, once _Init succeeded: the out-of-box start (not while suspended) or the start
    // delay.
    void start();

    // Destroyed in reverse, which is the teardown: first the link other threads reach the engine
    // by (it waits for their calls), then the installer's subscription (it waits for a message in
    // flight), then the parts (see EngineParts).
    EngineParts m_parts;
    EngineSteps m_steps{m_parts};
    EngineEvents m_events{m_parts, m_steps};
    BusSubscription m_installer;
    std::unique_ptr<RunningEngineRegistration> m_link;
};

} // namespace Keelwork::engine
