// Date-only arithmetic on days since 1970-01-01 (proleptic Gregorian). It needs no time zone, so
// stepping over days and months never meets a daylight-saving change.
#pragma once

#include <cstdint>

namespace KsCalendar {

struct CivilDate {
    int64_t year;
    unsigned month; // 1-12
    unsigned day;   // 1-31
};

// Division rounding toward negative infinity, for instants and days before 1970.
int64_t floorDiv(int64_t numerator, int64_t denominator);

int64_t daysFromCivil(int64_t year, unsigned month, unsigned day);
CivilDate civilFromDays(int64_t days);
unsigned weekDayOf(int64_t days); // 0 = Sunday
unsigned daysInMonth(int64_t year, unsigned month);
// Day 1 of the month after the one `days` lies in.
int64_t firstOfNextMonth(int64_t days);

} // namespace KsCalendar
