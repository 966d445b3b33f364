// Values of the scheduler key that the engine reads again whenever it needs them, so a change
// takes effect without a restart.
#pragma once

#include <cstdint>

namespace Keelwork::engine {

// "idle_wait": whether a task that wants an idle machine waits for one; 1 when unreadable.
uint32_t readIdleWait();

} // namespace Keelwork::engine
