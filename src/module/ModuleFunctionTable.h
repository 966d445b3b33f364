// The static module function table inside the library, for its exports.
#pragma once

#include "module/ModuleFunctions.h"

namespace Tessel {

// The same address on every call; never freed.
const ModuleFunctions* moduleFunctionTable();

} // namespace Tessel
