// TaskScheduler.dll as a host sees it: loaded once per test program from the program's folder,
// with its four exports and its log file.
#pragma once

#include "module/ModuleFunctions.h"

#include <string>

struct HINSTANCE__;

namespace moduletest {

// An export of a loaded library as its function type; null when absent.
void* exportAddress(HINSTANCE__* library, const char* name);
template <typename Fn>
Fn exportOf(HINSTANCE__* library, const char* name)
{
    return reinterpret_cast<Fn>(exportAddress(library, name));
}

struct ModuleExports {
    ModuleCreateObjectFn createObject = nullptr;
    ModuleReleaseObjectFn releaseObject = nullptr;
    ModuleGetVersionNumFn getVersionNum = nullptr;
    ModuleGetVersionStrFn getVersionStr = nullptr;
};

// Loads the library on first use and keeps it for the process. The library's logger is created
// here, while HKEY_LOCAL_MACHINE is still the real one, so it writes files tests can read.
// Call from SetUpTestSuite, outside any registry redirection.
const ModuleExports& moduleExports();
const ModuleFunctions& moduleTable();

// The text the library's logger wrote since construction.
class ModuleLogCapture {
public:
    ModuleLogCapture();
    std::wstring text() const;
    bool contains(const std::wstring& fragment) const;

private:
    std::wstring m_file;
    size_t m_startChars = 0;
};

} // namespace moduletest
