// The module's way to the running scheduler engine: the engine thread registers its scheduler
// object here while it exists, and the auto-maintenance messages reach it through this link.
#pragma once

namespace Tessel {

// What the module asks of the engine.
class AutoMaintenanceTarget {
public:
    virtual ~AutoMaintenanceTarget() = default;
    virtual void SetAMMode(bool bAMMode, void* pContext, bool bInternalCall) = 0;
};

// The running engine, or null while none exists.
AutoMaintenanceTarget* runningEngine();
// Called by the engine thread with its scheduler object, and with null before it goes away.
void setRunningEngine(AutoMaintenanceTarget* engine);

} // namespace Tessel
