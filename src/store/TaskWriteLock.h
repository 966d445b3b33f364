// The one lock of a stored task's read-change-write in this process. Task management's changes
// and the engine's next-run writes both take it, so neither writes back a value the other has
// just replaced: a change made while a task runs is not undone, and a run is not repeated because
// a stale next run was written over the new one.
#pragma once

#include <mutex>

namespace KsStore {

std::mutex& taskWriteLock();

} // namespace KsStore
