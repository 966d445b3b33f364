// The monotonic clock of reply deadlines and performance timers: unbiased interrupt time (it does
// not advance while the machine sleeps), in milliseconds.
#pragma once

#include <cstdint>

namespace Tessel {

int64_t monotonicMillis();

} // namespace Tessel
