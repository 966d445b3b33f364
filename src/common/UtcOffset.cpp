// The runtime is asked for the local fields of an instant and the offset is read back from them
// through a UTC-only conversion, which no daylight-saving rule touches.
#include "common/UtcOffset.h"

#include <ctime>

namespace Keelwork {

int64_t utcOffsetAt(int64_t utc)
{
    // Some runtimes refuse a local result before 1970, hence a day's margin at the start.
    constexpr int64_t kEarliest = 86400;                 // 1970-01-02
    constexpr int64_t kLatest = 32535129600 - 86400;     // 3000-12-30
    const __time64_t instant = utc < kEarliest ? kEarliest : utc > kLatest ? kLatest : utc;
    struct tm local {};
    if (_localtime64_s(&local, &instant) != 0)
        return 0;
    const __time64_t wall = _mkgmtime64(&local);
    return wall == -1 ? 0 : wall - instant;
}

} // namespace Keelwork
