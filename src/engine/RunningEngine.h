// The process-wide link to the running scheduler engine.
//
// The engine thread registers its scheduler object here for as long as the object exists; other
// threads (the module's auto-maintenance handlers) reach it only through withRunningEngine, which
// holds the link for the whole call. Unregistering waits for every call in flight, so once the
// registration is gone no caller can still be inside the engine, and the engine thread may then
// destroy it.
//
// Threading: any thread may call withRunningEngine. The call must not wait for the engine thread
// (that thread may be waiting in its unregistration for the call to end) and must not call
// withRunningEngine again.
#pragma once

#include "engine/HeadTaskDecision.h"
#include "state/RunNowRequest.h"

#include <functional>
#include <memory>
#include <string>

namespace Tessel {
class MessageBusClient;
}

namespace Keelwork::engine {

// The engine's answer "Response.Auto.Maintenance.Mode", published through the engine's own bus
// client, which it keeps for the publish even when the engine ends meanwhile.
class AutoMaintenanceResponse {
public:
    explicit AutoMaintenanceResponse(std::shared_ptr<Tessel::MessageBusClient> bus) : m_bus(std::move(bus)) {}
    // Logs a failure; never throws.
    void publish() const;

private:
    std::shared_ptr<Tessel::MessageBusClient> m_bus;
};

// What other threads ask of the engine.
class EngineTarget {
public:
    // Applies an auto-maintenance switch asked for by another module. A non-null result is the
    // response still to publish, which the caller does once it holds no lock.
    virtual std::unique_ptr<AutoMaintenanceResponse> requestAMMode(bool on) = 0;
    // Asks the engine to treat the stored task `name` as due at its next step; a task whose
    // program runs now is left alone (it runs once). Never waits for the engine thread.
    virtual void requestRunNow(const std::wstring& name) = 0;
    // What the engine decides a head task's fate from, besides the machine: its settings (read at
    // its start), the pump's holds and the AM switch, as they are now.
    virtual PumpView decisionView() const = 0;

protected:
    EngineTarget() = default;
    ~EngineTarget() = default;
    EngineTarget(const EngineTarget&) = delete;
    EngineTarget& operator=(const EngineTarget&) = delete;
};

// Runs `call` with the running engine and returns true; returns false, without calling, while no
// engine is registered.
bool withRunningEngine(const std::function<void(EngineTarget&)>& call);

// Switches the running engine's auto-maintenance mode and publishes its response, if any, after
// the link is released. False, without a switch, while no engine runs.
bool switchRunningEngineAMMode(bool on);

// The one door by which a run-now request reaches the engine, from the bus and from other
// processes alike: asked, or noEngine (asking nothing) while no engine runs.
KsState::RunNowOutcome askRunningEngineToRunNow(const std::wstring& name);

// Links an engine for the registration's lifetime; the destructor unlinks it and waits for calls
// in flight. Only one engine runs per process: a newer registration replaces an older one, and
// the older one's destructor then leaves the newer link alone.
class RunningEngineRegistration {
public:
    explicit RunningEngineRegistration(EngineTarget& engine);
    ~RunningEngineRegistration();

    RunningEngineRegistration(const RunningEngineRegistration&) = delete;
    RunningEngineRegistration& operator=(const RunningEngineRegistration&) = delete;

private:
    EngineTarget* m_engine;
};

} // namespace Keelwork::engine
