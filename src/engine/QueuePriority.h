// The priority a due task gets in the run queue.
#pragma once

#include "store/KsTaskInfo.h"

#include <cstdint>

namespace Keelwork::engine {

// The task's own priority when it set one (anything but 0 and -1, taken as unsigned, so a
// negative one sorts very high); otherwise one chosen by name, type, idle wish and lateness.
uint32_t queuePriority(const wchar_t* name, const KSTASKINFO& task, bool longOverdue);

} // namespace Keelwork::engine
