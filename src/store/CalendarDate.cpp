// Date-only arithmetic on days since 1970-01-01 (proleptic Gregorian, 400-year eras).
#include "store/CalendarDate.h"

namespace KsCalendar {

namespace {
constexpr int64_t kDaysPerEra = 146097;
constexpr int64_t kEpochShift = 719468; // days from 0000-03-01 to 1970-01-01
} // namespace

int64_t floorDiv(int64_t numerator, int64_t denominator) {
    const bool inexact = numerator % denominator != 0;
    return numerator / denominator - (inexact && ((numerator < 0) != (denominator < 0)) ? 1 : 0);
}

// Years are counted from March so the leap day falls at the end of the counted year.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = floorDiv(year, 400);
    const int64_t yearOfEra = year - era * 400;
    const int64_t shiftedMonth = month > 2 ? month - 3 : month + 9;
    const int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * kDaysPerEra + dayOfEra - kEpochShift;
}

CivilDate civilFromDays(int64_t days) {
    days += kEpochShift;
    const int64_t era = floorDiv(days, kDaysPerEra);
    const int64_t dayOfEra = days - era * kDaysPerEra;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const unsigned month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

// 1970-01-01 was a Thursday (4).
unsigned weekDayOf(int64_t days) { return static_cast<unsigned>(days - floorDiv(days + 4, 7) * 7 + 4); }

unsigned daysInMonth(int64_t year, unsigned month) {
    const int64_t next = month == 12 ? daysFromCivil(year + 1, 1, 1) : daysFromCivil(year, month + 1, 1);
    return static_cast<unsigned>(next - daysFromCivil(year, month, 1));
}

int64_t firstOfNextMonth(int64_t days) {
    const CivilDate date = civilFromDays(days);
    return date.month == 12 ? daysFromCivil(date.year + 1, 1, 1) : daysFromCivil(date.year, date.month + 1, 1);
}

} // namespace KsCalendar
