// What the answers need of a stored task (its picture: where it is kept, its type, its next run or
// occasion count, its retry time after a deferral and its calendar rule), from the memory the
// running engine keeps of its tasks or read once from the store; and the last launch outcomes its
// history keeps, for when the engine's board has none.
#pragma once

#include "common/ReadStatus.h"
#include "state/EngineState.h"
#include "store/TaskHistory.h"
#include "store/TaskMemory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace KsInsight {

using KsStore::TaskPicture;

bool isTimed(uint32_t type);     // scheduled, custom, preset: the engine runs them by the clock
bool isOccasion(uint32_t type);  // reboot, logon: the engine counts machine starts or logons

// The stored task of that name (as given, any case), from the enabled or the disabled key;
// nullopt when there is none, its record is not a task's, or its key may not be read: `status`
// then tells absent from denied. From memory where the task's picture is kept (TaskMemory.h).
std::optional<TaskPicture> readTaskPicture(const std::wstring& name, Keelwork::ReadStatus& status);

// Whether a task of that name is stored, enabled or disabled (read), or not (absent), or whether
// its parent or its key may not be looked at (denied); reads no value, and no key where the
// task's picture is kept.
Keelwork::ReadStatus findStoredTask(const std::wstring& name);
bool isStoredTask(const std::wstring& name);

// Fills the task's last launch and last deferral from the history (newest first) where the
// board has none: a launch from the newest launched entry, a deferral from the newest other one.
void completeFromHistory(KsState::TaskState& task, const std::vector<KsStore::HistoryEntry>& history);

} // namespace KsInsight
