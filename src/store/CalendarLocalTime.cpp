// Local wall-clock conversions. The C runtime is asked only for the UTC offset in force at an
// instant (_localtime64_s honours TZ); gaps and overlaps are settled here, the same everywhere.
#include "store/CalendarLocalTime.h"

#include "store/CalendarDate.h"

#include <ctime>

namespace KsCalendar {

namespace {
constexpr int64_t kSecondsPerDay = 86400;

// Seconds east of UTC at `utc`. The runtime converts only from 1970 to the year 3000 (and some
// runtimes refuse a local result before 1970, hence a day's margin); outside that range the
// offset at the nearest end stands in. Only an hour far out of range in a rule reaches there.
int64_t utcOffsetAt(int64_t utc) {
    constexpr int64_t kEarliest = kSecondsPerDay;             // 1970-01-02
    constexpr int64_t kLatest = 32535129600 - kSecondsPerDay; // 3000-12-30
    const __time64_t instant = utc < kEarliest ? kEarliest : utc > kLatest ? kLatest : utc;
    struct tm local {};
    if (_localtime64_s(&local, &instant) != 0)
        return 0;
    const int64_t wall = daysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                                       static_cast<unsigned>(local.tm_mday)) * kSecondsPerDay
                         + local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
    return wall - instant;
}

bool showsWallClock(int64_t utc, int64_t wall) { return utc + utcOffsetAt(utc) == wall; }
} // namespace

LocalTime toLocalTime(int64_t utc) {
    const int64_t wall = utc + utcOffsetAt(utc);
    const int64_t days = floorDiv(wall, kSecondsPerDay);
    return {days, wall - days * kSecondsPerDay};
}

// Offsets a day either side bracket any single change near the reading; zones change at most
// twice a year, so no two changes fall inside that window.
int64_t toUtc(int64_t days, int64_t secondOfDay) {
    const int64_t wall = days * kSecondsPerDay + secondOfDay;
    const int64_t offsetBefore = utcOffsetAt(wall - kSecondsPerDay);
    const int64_t offsetAfter = utcOffsetAt(wall + kSecondsPerDay);
    const int64_t byBefore = wall - offsetBefore;
    const int64_t byAfter = wall - offsetAfter;
    const bool beforeFits = showsWallClock(byBefore, wall);
    const bool afterFits = showsWallClock(byAfter, wall);
    if (beforeFits && afterFits)
        return byBefore < byAfter ? byBefore : byAfter; // repeated hour: its first occurrence
    if (afterFits)
        return byAfter;
    return byBefore; // fits, or the reading lies in a gap: keep the offset from before the gap
}

} // namespace KsCalendar
