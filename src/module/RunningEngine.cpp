// The process-wide link to the running scheduler engine.
#include "module/RunningEngine.h"

#include <atomic>

namespace Tessel {
namespace {

std::atomic<AutoMaintenanceTarget*> g_runningEngine{nullptr};

} // namespace

AutoMaintenanceTarget* runningEngine()
{
    return g_runningEngine.load();
}

void setRunningEngine(AutoMaintenanceTarget* engine)
{
    g_runningEngine.store(engine);
}

} // namespace Tessel
