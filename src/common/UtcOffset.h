// The offset from UTC in force at an instant, as the C runtime's zone (TZ honoured) gives it: the
// one local-time reading that the calendar rule and every local time text are built on.
#pragma once

#include <cstdint>

namespace Keelwork {

// Seconds east of UTC at `utc` (seconds since 1970). The runtime converts only from 1970 to the
// year 3000; outside that range the offset at the nearest end stands in. 0 if the runtime fails.
int64_t utcOffsetAt(int64_t utc);

} // namespace Keelwork
