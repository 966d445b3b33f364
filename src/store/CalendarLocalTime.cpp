// Local wall-clock conversions. The C runtime is asked only for the UTC offset in force at an
// instant (common/UtcOffset); gaps and overlaps are settled here, the same everywhere.
#include "store/CalendarLocalTime.h"

#include "common/UtcOffset.h"
#include "store/CalendarDate.h"

namespace KsCalendar {

namespace {
constexpr int64_t kSecondsPerDay = 86400;

// The fixed offset the calling thread reads local time at, or null for the runtime's zone.
thread_local const int64_t* t_fixedOffset = nullptr;

int64_t utcOffsetAt(int64_t utc) { return t_fixedOffset ? *t_fixedOffset : Keelwork::utcOffsetAt(utc); }

bool showsWallClock(int64_t utc, int64_t wall) { return utc + utcOffsetAt(utc) == wall; }
} // namespace

FixedOffsetZone::FixedOffsetZone(int64_t secondsEast) : m_previous(t_fixedOffset), m_secondsEast(secondsEast) {
    t_fixedOffset = &m_secondsEast;
}

FixedOffsetZone::~FixedOffsetZone() { t_fixedOffset = m_previous; }

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
