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

#include <functional>

namespace Keelwork::engine {

// What other threads ask of the engine.
class AutoMaintenanceTarget {
public:
    virtual void SetAMMode(bool bAMMode, void* pContext, bool bInternalCall) = 0;

protected:
    AutoMaintenanceTarget() = default;
    ~AutoMaintenanceTarget() = default;
    AutoMaintenanceTarget(const AutoMaintenanceTarget&) = delete;
    AutoMaintenanceTarget& operator=(const AutoMaintenanceTarget&) = delete;
};

// Runs `call` with the running engine and returns true; returns false, without calling, while no
// engine is registered.
bool withRunningEngine(const std::function<void(AutoMaintenanceTarget&)>& call);

// Links an engine for the registration's lifetime; the destructor unlinks it and waits for calls
// in flight. Only one engine runs per process: a newer registration replaces an older one, and
// the older one's destructor then leaves the newer link alone.
class RunningEngineRegistration {
public:
    explicit RunningEngineRegistration(AutoMaintenanceTarget& engine);
    ~RunningEngineRegistration();

    RunningEngineRegistration(const RunningEngineRegistration&) = delete;
    RunningEngineRegistration& operator=(const RunningEngineRegistration&) = delete;

private:
    AutoMaintenanceTarget* m_engine;
};

} // namespace Keelwork::engine
