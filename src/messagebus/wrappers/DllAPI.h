// The operating system's library loader behind one small interface, so the loader above it can
// be exercised without touching real files where a failure must be forced.
#pragma once

#include "message/ModuleStatus.h"

struct HINSTANCE__;

namespace Tessel {

class DllAPI {
public:
    using ModuleHandle = HINSTANCE__*;
    using Proc = long long (*)();

    virtual ~DllAPI() = default;

    // Loads with the library's own folder first in the dependency search.
    virtual ModuleStatus loadLibrary(const wchar_t* path, ModuleHandle& module);
    // Null when the export is missing.
    virtual Proc getProcAddress(ModuleHandle module, const char* name);
    // The system error code, 0 on success.
    virtual unsigned long freeLibrary(ModuleHandle module);
};

} // namespace Tessel
