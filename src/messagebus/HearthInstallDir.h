// The host's install folder as the registry records it, chosen by the process's bitness.
#pragma once

#include <string>

namespace Tessel {

struct HearthInstallDir {
    std::wstring folder;  // empty when not found
    bool wow64 = false;   // the 32-bit view's value was the one asked for
    long error = 0;       // Windows error code of the registry read, 0 on success
};

// Reads HKEY_LOCAL_MACHINE's host key: "Install Dir32" for a WoW64 process, else "Install Dir".
// An empty value counts as not found (ERROR_FILE_NOT_FOUND).
HearthInstallDir readHearthInstallDir();

// True when this process is a 32-bit process on 64-bit Windows. IsWow64Process is looked up at
// run time because older systems' kernel32 lacks it.
bool isWow64Process();

} // namespace Tessel
