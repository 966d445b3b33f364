// kstask.exe's work, apart from its console: the command line in, the exit code and the texts
// for standard output and standard error out. It reads the store, the task histories and the
// engine's state key, and writes nothing but the run-now request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KsTaskTool {

enum ExitCode : int {
    kDone = 0,
    kUnknownTask = 1,  // also: run, refused for any reason
    kBadUsage = 2,
    kRegistryUnreadable = 3,  // also: the engine's event or keys may not be opened (denied, never absent)
};

struct Outcome {
    int exitCode = kDone;
    std::wstring out;
    std::wstring err;
};

// `args` without the program's own name; `now` in seconds since 1970.
Outcome runTool(const std::vector<std::wstring>& args, uint32_t now);

} // namespace KsTaskTool
