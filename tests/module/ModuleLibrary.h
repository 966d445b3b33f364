// TaskScheduler.dll as a host sees it: loaded once per test program from the program's folder,
// through the export that hands out its function table.
#pragma once

#include "module/ModuleFunctions.h"

namespace moduletest {

struct ModuleExports {
    ModuleCreateObjectFn createObject = nullptr;
};

// Loads the library on first use and keeps it for the process. The library's logger is created
// here, while HKEY_LOCAL_MACHINE is still the real one, so it never reads a test's scratch key.
// Call from SetUpTestSuite, outside any registry redirection.
const ModuleExports& moduleExports();
const ModuleFunctions& moduleTable();

} // namespace moduletest
