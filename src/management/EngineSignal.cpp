// Wakes the engine by setting its named new-task event, when the engine has created it.
#include "common/UniqueHandle.h"
#include "common/EngineEvents.h"
#include "management/TaskManagement.h"

namespace Orbis {

void TaskManagement::signalEngine()
{
    // A missing event means no engine is running; there is nothing to wake and nothing to report.
    Keelwork::unique_event event(OpenEventW(EVENT_MODIFY_STATE, FALSE, Keelwork::kNewTaskEvent));
    if (event)
        SetEvent(event.get());
}

} // namespace Orbis
