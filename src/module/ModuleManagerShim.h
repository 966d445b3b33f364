// Tessel::internal::ModuleManagerShim: the host's module manager (a context and a callback) as
// the object the module keeps. Nothing in the module calls it today.
#pragma once

#include "module/ModuleFunctions.h"

namespace Tessel::internal {

class ModuleManagerShim {
public:
    ModuleManagerShim(void* context, ModuleManagerCallback callback);
    ModuleManagerShim(const ModuleManagerShim&) = delete;
    ModuleManagerShim& operator=(const ModuleManagerShim&) = delete;

    virtual ~ModuleManagerShim() = default;  // 0
    // Calls the host's callback with (context, argument, null); the callback's result is dropped.
    virtual void call(void* argument);        // 1

private:
    void* m_context;
    ModuleManagerCallback m_callback;
};

} // namespace Tessel::internal
