// Test zones for the calendar rule: pins the C runtime's zone through TZ, and answers local time
// questions from the zone's own rule (an offset table), never from the code under test.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace KsCalendarTest {

// A POSIX TZ zone as the runtime applies it when the string names no transition dates: US dates
// (second Sunday of March to first Sunday of November from 2007, first Sunday of April to last
// Sunday of October before), switching at 02:00 local wall-clock time both ways.
struct ZoneRule {
    const char* tz;            // the TZ string the runtime is given
    int64_t standardOffset;    // seconds east of UTC
    bool hasDaylightSaving;    // daylight time is one hour ahead of standard time
};

// Printed by its TZ string in test names and failures.
inline void PrintTo(const ZoneRule& zone, std::ostream* os) { *os << zone.tz; }

inline constexpr ZoneRule kCentralEurope{"CET-1CEST", 3600, true};
inline constexpr ZoneRule kUsEastern{"EST5EDT", -5 * 3600, true};
inline constexpr ZoneRule kJapan{"JST-9", 9 * 3600, false};

struct WallClock {
    int64_t year;
    int month, day, hour, minute, second;
    int weekDay; // 0 = Sunday
};

// Seconds since 1970 of a UTC civil time, through the runtime's UTC-only conversion.
int64_t utcOfCivil(int64_t year, int month, int day, int hour, int minute, int second = 0);
// Civil fields of a UTC instant (no zone involved).
WallClock civilOfUtc(int64_t utc);

class ZoneOracle {
public:
    explicit ZoneOracle(const ZoneRule& rule) : rule_(rule) {}

    int64_t offsetAt(int64_t utc) const;
    WallClock wallClockAt(int64_t utc) const { return civilOfUtc(utc + offsetAt(utc)); }
    // Local day (days since 1970) of an instant.
    int64_t localDayOf(int64_t utc) const;
    // Instant of a wall-clock reading on local day `day`: a reading in the skipped hour takes the
    // standard offset; one in the repeated hour takes its first (daylight) occurrence.
    int64_t instantOf(int64_t day, int hour, int minute) const;
    // Local days of the spring-forward and fall-back Sundays of `year`.
    int64_t springDay(int64_t year) const;
    int64_t autumnDay(int64_t year) const;

private:
    // Whether hour:minute on local day `day` falls into the hour skipped that day.
    bool isSkipped(int64_t day, int hour, int minute) const;

    ZoneRule rule_;
};

// Pins the runtime's zone for one test and restores the previous TZ afterwards.
class PinnedZone {
public:
    explicit PinnedZone(const char* tz);
    ~PinnedZone();
    PinnedZone(const PinnedZone&) = delete;
    PinnedZone& operator=(const PinnedZone&) = delete;

private:
    bool hadTz_;
    std::string previousTz_;
};

} // namespace KsCalendarTest
