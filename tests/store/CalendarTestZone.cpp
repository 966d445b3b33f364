// The test zones' offset table, built from each zone's transition dates with UTC-only
// conversions, and the TZ pinning for the runtime.
#include "CalendarTestZone.h"

#include <cstdlib>
#include <ctime>

namespace KsCalendarTest {

namespace {
constexpr int64_t kDay = 86400;

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int64_t dayOfCivil(int64_t year, int month, int day) { return floorDiv(utcOfCivil(year, month, day, 0, 0), kDay); }

// The n-th (1-based) Sunday of a month, or its last Sunday for n = 0, as days since 1970.
int64_t sundayOf(int64_t year, int month, int n) {
    if (n == 0) {
        const int64_t last = dayOfCivil(year, month + 1, 0); // day 0 normalises to the month's last
        return last - civilOfUtc(last * kDay).weekDay;
    }
    const int64_t first = dayOfCivil(year, month, 1);
    return first + (7 - civilOfUtc(first * kDay).weekDay) % 7 + 7 * (n - 1);
}
} // namespace

int64_t utcOfCivil(int64_t year, int month, int day, int hour, int minute, int second) {
    struct tm fields {};
    fields.tm_year = static_cast<int>(year - 1900);
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return _mkgmtime64(&fields);
}

WallClock civilOfUtc(int64_t utc) {
    const __time64_t instant = utc;
    struct tm fields {};
    _gmtime64_s(&fields, &instant);
    return {fields.tm_year + 1900LL, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec,
            fields.tm_wday};
}

int64_t ZoneOracle::springDay(int64_t year) const { return year >= 2007 ? sundayOf(year, 3, 2) : sundayOf(year, 4, 1); }

int64_t ZoneOracle::autumnDay(int64_t year) const { return year >= 2007 ? sundayOf(year, 11, 1) : sundayOf(year, 10, 0); }

int64_t ZoneOracle::offsetAt(int64_t utc) const {
    if (!rule_.hasDaylightSaving)
        return rule_.standardOffset;
    const int64_t year = civilOfUtc(utc + rule_.standardOffset).year;
    const int64_t daylightOffset = rule_.standardOffset + 3600;
    const int64_t starts = springDay(year) * kDay + 2 * 3600 - rule_.standardOffset;
    const int64_t ends = autumnDay(year) * kDay + 2 * 3600 - daylightOffset;
    return utc >= starts && utc < ends ? daylightOffset : rule_.standardOffset;
}

int64_t ZoneOracle::localDayOf(int64_t utc) const { return floorDiv(utc + offsetAt(utc), kDay); }

bool ZoneOracle::isSkipped(int64_t day, int hour, int /*minute*/) const {
    if (!rule_.hasDaylightSaving)
        return false;
    return hour == 2 && day == springDay(civilOfUtc(day * kDay).year);
}

// Daylight time covers the wall-clock readings from 02:00 on the spring day to 02:00 (the first
// pass) on the autumn day; the skipped hour inside that range keeps the standard offset.
int64_t ZoneOracle::instantOf(int64_t day, int hour, int minute) const {
    const int64_t wall = day * kDay + hour * 3600 + minute * 60;
    if (!rule_.hasDaylightSaving || isSkipped(day, hour, minute))
        return wall - rule_.standardOffset;
    const int64_t year = civilOfUtc(day * kDay).year;
    const bool daylight = wall >= springDay(year) * kDay + 2 * 3600 && wall < autumnDay(year) * kDay + 2 * 3600;
    return wall - rule_.standardOffset - (daylight ? 3600 : 0);
}

namespace {
// The runtime's TZ parser leaves the daylight bias alone, and a _tzset with TZ unset sets it to
// the host zone's (0 for a host without daylight time), which would switch daylight time off for
// every zone pinned afterwards. A POSIX zone string without an offset for daylight time means
// one hour ahead.
void applyZone(const std::string& tz) {
    _putenv(("TZ=" + tz).c_str());
    _tzset();
    if (!tz.empty())
        _dstbias = -3600;
}
} // namespace

PinnedZone::PinnedZone(const char* tz) {
    const char* previous = std::getenv("TZ");
    hadTz_ = previous != nullptr;
    if (hadTz_)
        previousTz_ = previous;
    applyZone(tz);
}

PinnedZone::~PinnedZone() { applyZone(hadTz_ ? previousTz_ : std::string()); }

} // namespace KsCalendarTest
