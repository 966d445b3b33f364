// Local wall-clock time <-> UTC instants for the calendar rule, with a fixed rule for the hours a
// daylight-saving change skips or repeats (the C runtimes do not agree on those).
#pragma once

#include <cstdint>

namespace KsCalendar {

// A local wall-clock reading: a date (days since 1970-01-01) and seconds into that day.
struct LocalTime {
    int64_t days;
    int64_t secondOfDay;
};

LocalTime toLocalTime(int64_t utc);

// While one lives, the calendar reads local time on the calling thread at a fixed offset from UTC
// instead of the runtime's zone: a simulation of machines in many zones needs no change of the
// process's zone, and no other thread sees it. Nests; each thread has its own.
class FixedOffsetZone {
public:
    explicit FixedOffsetZone(int64_t secondsEast);
    ~FixedOffsetZone();
    FixedOffsetZone(const FixedOffsetZone&) = delete;
    FixedOffsetZone& operator=(const FixedOffsetZone&) = delete;

private:
    const int64_t* m_previous;
    int64_t m_secondsEast;
};

// The instant at which the wall clock of `days` shows `secondOfDay` (which may exceed a day; it
// carries into later days). A reading inside a skipped hour is taken with the offset in force
// before the gap, so 02:30 on a spring-forward night is 03:30 daylight time; a reading inside a
// repeated hour is its first occurrence.
int64_t toUtc(int64_t days, int64_t secondOfDay);

} // namespace KsCalendar
