// Values of the scheduler key that the engine reads again whenever it needs them, so a change
// takes effect without a restart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Keelwork::engine {

// "idle_wait": whether a task that wants an idle machine waits for one; 1 when unreadable.
uint32_t readIdleWait();

// "DisabledInRetailModeTasks": comma-separated task names, trimmed and lower-cased as task keys
// are; empty when absent.
std::vector<std::wstring> readDisabledInRetailModeTasks();

} // namespace Keelwork::engine
