// A list of stored tasks, none due, and the task-list figures the engine and growth groups take of
// it: its memory once loaded, the gather, one refresh after a change, and answers about its tasks.
#pragma once

#include "BenchCase.h"

#include "engine/RefreshScope.h"

#include <functional>
#include <string>
#include <utility>

namespace Keelwork::engine {
class CKsTaskManager;
}

namespace ksbench {

// "task00042": the key name of the i-th stored task.
std::wstring taskName(int i);

// Stores tasks [from, to), each daily and due a day from now.
void storeIdleTasks(int from, int to);

// Deletes tasks [from, to).
void deleteTasks(int from, int to);

// What a load cannot avoid: enumerate the task keys, open each and read every value. Gives the
// bytes of value data read.
size_t rawLoad();

// Working-set growth per task while `manager` gathers the `tasks` stored, against the value data
// each task holds in the registry. A load after others were freed reuses their heap pages and
// shows almost no growth: measure before them, and keep `manager` while others load.
Figure loadedMemory(Keelwork::engine::CKsTaskManager& manager, int tasks);

// A fresh manager's gather against rawLoad, alternately, `repetitions` times each; medians, ms.
Figure gatherMillis(int repetitions);

// One of the first ten tasks changed, as task management changes it (`scope` named) or as another
// process does (written), then the refresh, against reading that one task; only the refresh is
// timed. Medians of nine, ms.
Figure refreshOneChange(Keelwork::engine::CKsTaskManager& manager,
                        Keelwork::engine::RefreshScope scope = Keelwork::engine::RefreshScope::named);

// The median and the 99th percentile, in ms, of `answer` over `samples` requests, the k-th for
// the task `nameOf(k)`, 50 entries; a refused request is reported.
std::pair<double, double> answerMillis(int samples, const std::function<std::wstring(int k)>& nameOf,
                                       const std::function<std::wstring(const std::wstring& payload)>& answer);

} // namespace ksbench
