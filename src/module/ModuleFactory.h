// The module the function table creates for the host: the scheduler module, built with no
// arguments so that every part gets its production default.
#pragma once

#include <memory>

namespace Tessel {

class Module;

// May throw while the module's parts are built; the caller guards it.
std::unique_ptr<Module> createModule();

} // namespace Tessel
