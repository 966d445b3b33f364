// Lists the task names stored under the enabled or the disabled parent key, the way the engine's
// refresh and the management layer walk the store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KsStore {

enum class TaskParent { enabled, disabled };

// Fills names with the identity keys of the sub-keys under the parent (TaskName.h), in registry
// order; a sub-key that is no task's name is left out.
// Answers 0; 2 when the parent key does not exist (names empty); otherwise the registry's error
// (names then holds the names listed before it).
uint32_t enumerateTaskNames(TaskParent parent, std::vector<std::wstring>& names);

} // namespace KsStore
