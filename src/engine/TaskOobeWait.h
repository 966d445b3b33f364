// The start delay of one task after the out-of-box experience: its own override value, else the
// global one.
#pragma once

#include <cstdint>
#include <string>

namespace Keelwork::engine {

// Looks the task's lower-cased name up in a freshly initialized settings override.
uint32_t readTaskOobeWait(const std::wstring& taskName, uint32_t globalOobeWait);

} // namespace Keelwork::engine
