// Loading TaskScheduler.dll once for the test program.
#include "ModuleLibrary.h"

#include "ProgramFolder.h"
#include "common/WinInclude.h"

#include <stdexcept>

namespace moduletest {
namespace {

ModuleExports loadExports()
{
    ModuleExports exports;
    HMODULE library = LoadLibraryW((kstest::testProgramFolder() + L"\\TaskScheduler.dll").c_str());
    if (!library)
        return exports;
    // Through void*: a direct cast between unrelated function types draws a warning.
    exports.createObject =
        reinterpret_cast<ModuleCreateObjectFn>(reinterpret_cast<void*>(GetProcAddress(library, "CreateObject")));
    // A failing table call logs, which creates the library's logger now.
    if (exports.createObject)
        exports.createObject()->startModule(nullptr);
    return exports;
}

} // namespace

const ModuleExports& moduleExports()
{
    static const ModuleExports exports = loadExports();
    return exports;
}

const ModuleFunctions& moduleTable()
{
    const ModuleExports& exports = moduleExports();
    if (!exports.createObject)
        throw std::runtime_error("TaskScheduler.dll or its CreateObject is missing");
    return *exports.createObject();
}

} // namespace moduletest
