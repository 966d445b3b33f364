// Wakes the engine after a task changed: the in-process inbox names the task to an engine running
// in this process; otherwise the named new-task event is set, when the engine has created it.
#include "common/ChangedTasks.h"
#include "common/UniqueHandle.h"
#include "common/EngineEvents.h"
#include "management/TaskManagement.h"

namespace Orbis {

void TaskManagement::signalEngine(const std::wstring& name)
{
    if (Keelwork::ChangedTasks::ofProcess().post(name))
        return;
    // A missing event means no engine is running; there is nothing to wake and nothing to report.
    Keelwork::unique_event event(OpenEventW(EVENT_MODIFY_STATE, FALSE, Keelwork::kNewTaskEvent));
    if (event)
        SetEvent(event.get());
}

} // namespace Orbis
