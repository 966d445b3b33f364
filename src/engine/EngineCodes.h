// The engine's private result codes, named once.
#pragma once

#include <cstdint>

namespace Keelwork::engine {

// What running the head task of the queue came to.
enum RunResult : uint32_t {
    kRan = 0,                // the task ran or was skipped: go on with the queue
    kNotInList = 13,         // the head item's task is not in the task list
    kStopping = 1602,        // the exit event cut the launch short
    kRestartPending = 1604,  // the update task ran and a restart is now pending
};

// Trigger and Refresh without a task manager.
inline constexpr uint32_t kNoTaskManager = 13;

} // namespace Keelwork::engine
