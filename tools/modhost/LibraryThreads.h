// Which threads of this process began in a given library: a module's thread that is still running
// after the module was destroyed would run on into its library once the host frees it.
#pragma once

#include "common/WinInclude.h"

#include <cstddef>

namespace modhost {

// The threads of this process whose start address lies in `library`.
size_t threadsStartedIn(HMODULE library);

} // namespace modhost
