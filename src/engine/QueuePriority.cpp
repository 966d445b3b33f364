// Default queue priorities: the update task and the scheduled scan ahead of idle-waiting work,
// reboot tasks that need no idle machine ahead of everything, and any task that has waited
// too long raised so that it runs soon.
#include "engine/QueuePriority.h"

#include "execution/TaskExecutionNames.h"

#include <cwchar>

namespace Keelwork::engine {

uint32_t queuePriority(const wchar_t* name, const KSTASKINFO& task, bool longOverdue)
{
    if (task.nPriority != KS_PRIORITY_LOWEST && task.nPriority != KS_PRIORITY_DEFAULT)
        return static_cast<uint32_t>(task.nPriority);
    const uint32_t late = KS_PRIORITY_HIGHEST;
    if (std::wcscmp(name, KsExecution::names::kUpdateTask) == 0)
        return longOverdue ? late : uint32_t{KS_PRIORITY_HIGH};
    if (std::wcscmp(name, KsExecution::names::kOnDemandScanTask) == 0)
        return longOverdue ? late : uint32_t{KS_PRIORITY_LOWEST};
    if (task.dwTaskType == KS_TASK_REBOOT)
        return task.dwRunWhenIdle == 0 ? uint32_t{KS_PRIORITY_REALTIME} : longOverdue ? late : uint32_t{KS_PRIORITY_NORMAL};
    if (task.dwRunWhenIdle != 0)
        return longOverdue ? late : uint32_t{KS_PRIORITY_LOW};
    return late;
}

} // namespace Keelwork::engine
