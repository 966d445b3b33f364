// Cases of the running engine thread that the task-list group calls with its stored tasks.
#pragma once

#include "BenchCase.h"

#include <string>
#include <utility>
#include <vector>

namespace ksbench {

// The process's CPU time over 30 s while the engine thread runs with the stored tasks, none due,
// measured once the engine's start-up work is over.
std::vector<std::pair<std::string, Figure>> engineIdleCpu();

} // namespace ksbench
