// Tessel::Module: what the host drives through the function table, whatever the module is.
#pragma once

#include "message/ModuleStatus.h"

namespace Tessel {

class Module {
public:
    // Virtual operations, in their fixed slot order.
    virtual ~Module() = default;             // 0
    virtual ModuleStatus initialize() = 0;   // 1
    virtual ModuleStatus start() = 0;        // 2
    virtual ModuleStatus stop() = 0;         // 3
    virtual ModuleStatus uninitialize() = 0; // 4

protected:
    Module() = default;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
};

} // namespace Tessel
