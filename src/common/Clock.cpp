// The process-wide clock selection.
#include "common/Clock.h"

#include <atomic>

namespace Keelwork {

namespace {
const SystemClock g_systemClock;
std::atomic<const Clock*> g_current{&g_systemClock};
} // namespace

const Clock& Clock::current() { return *g_current.load(std::memory_order_acquire); }

void Clock::install(const Clock* clock) { g_current.store(clock ? clock : &g_systemClock, std::memory_order_release); }

} // namespace Keelwork
