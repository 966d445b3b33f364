// The calendar rule against a brute-force oracle: for seeded random rules and bases, walk the
// local calendar day by day through the test zone's own offset table and take the first slot
// the rule allows. Daily runs through the nights the clocks change are the run preview's.
#include "store/CalendarRule.h"

#include "CalendarTestZone.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>

namespace {

using KsCalendar::CalendarRule;
using KsCalendar::computeNextRun;
using KsCalendarTest::civilOfUtc;
using KsCalendarTest::ZoneOracle;
using KsCalendarTest::ZoneRule;

constexpr int64_t kDay = 86400;
constexpr uint32_t kNone = 0, kWeekly = 1, kBiweekly = 2, kFirstInMonth = 3, kLastInMonth = 4;
// Far enough below 2106 that every next run found by the oracle still fits 32 bits.
constexpr int64_t kLatestBase = int64_t{UINT32_MAX} - 70 * kDay;

// Sunday-based weeks; the Sunday before 1970-01-01 is day -4, so shift before dividing.
int64_t weekOf(int64_t day) { return (day - civilOfUtc(day * kDay).weekDay + 4) / 7; }

bool dayAllowed(const CalendarRule& rule, int64_t day, uint32_t previousNextRun, const ZoneOracle& zone) {
    const KsCalendarTest::WallClock date = civilOfUtc(day * kDay);
    const bool weekDayAllowed = (rule.dayOfWeekMask >> date.weekDay) & 1;
    switch (rule.interval) {
    case kWeekly: return weekDayAllowed;
    case kBiweekly:
        return weekDayAllowed
               && (previousNextRun == 0 || (weekOf(day) - weekOf(zone.localDayOf(previousNextRun))) % 2 == 0);
    case kFirstInMonth: return weekDayAllowed && date.day <= 7;
    case kLastInMonth: return weekDayAllowed && civilOfUtc((day + 7) * kDay).month != date.month;
    default: return true;
    }
}

// The first slot after `from` on a day the rule allows.
int64_t oracleNextRun(const ZoneOracle& zone, const CalendarRule& rule, uint32_t previousNextRun, int64_t from) {
    const int64_t firstDay = zone.localDayOf(from);
    for (int64_t day = firstDay; day < firstDay + 80; ++day) {
        if (!dayAllowed(rule, day, previousNextRun, zone))
            continue;
        const int64_t slot = zone.instantOf(day, static_cast<int>(rule.hour), static_cast<int>(rule.minute));
        if (slot > from)
            return slot;
    }
    return -1;
}

struct Sample {
    CalendarRule rule;
    uint32_t previousNextRun;
    uint32_t base;
    uint32_t now;
};

// Half the bases lie anywhere in 1970-2106, half within two days of a clock change, where the
// slots are drawn from the hours around the change.
class SampleSource {
public:
    SampleSource(const ZoneOracle& zone, uint32_t interval, uint32_t seed) : zone_(zone), interval_(interval), random_(seed) {}

    Sample next() {
        const bool nearChange = pick(0, 1) == 1;
        const int64_t base = nearChange ? nearClockChange() : pick(2 * kDay, kLatestBase);
        uint32_t mask = static_cast<uint32_t>(pick(1, 0x7F));
        if (pick(0, 7) == 0)
            mask |= static_cast<uint32_t>(pick(1, 0xFFFF)) << 7; // bits above Saturday name no day
        const uint32_t hour = static_cast<uint32_t>(nearChange ? pick(0, 4) : pick(0, 23));
        const CalendarRule rule{mask, interval_, hour, static_cast<uint32_t>(pick(0, 59))};
        uint32_t previous = 0;
        if (pick(0, 2) != 0)
            previous = static_cast<uint32_t>(base + pick(-30 * kDay, 5 * kDay));
        // A base of 0 asks for now.
        if (pick(0, 3) == 0)
            return {rule, previous, 0, static_cast<uint32_t>(base)};
        return {rule, previous, static_cast<uint32_t>(base), static_cast<uint32_t>(pick(0, UINT32_MAX))};
    }

private:
    int64_t pick(int64_t low, int64_t high) { return std::uniform_int_distribution<int64_t>(low, high)(random_); }

    int64_t nearClockChange() {
        const int64_t year = pick(1971, 2105);
        const int64_t day = pick(0, 1) ? zone_.springDay(year) : zone_.autumnDay(year);
        return day * kDay + pick(-2 * kDay, 3 * kDay);
    }

    const ZoneOracle& zone_;
    uint32_t interval_;
    std::mt19937_64 random_;
};

class OracleAgreement : public ::testing::TestWithParam<std::tuple<ZoneRule, uint32_t>> {};

TEST_P(OracleAgreement, NextRunIsFirstAllowedSlotAfterBase) {
    const auto& [zoneRule, interval] = GetParam();
    KsCalendarTest::PinnedZone pinned(zoneRule.tz);
    const ZoneOracle zone(zoneRule);
    SampleSource samples(zone, interval, 0xC0FFEE + interval);
    for (int i = 0; i < 1500; ++i) {
        const Sample s = samples.next();
        const int64_t base = s.base != 0 ? s.base : s.now;
        const int64_t from = base < s.previousNextRun ? int64_t{s.previousNextRun} + 1 : base;
        const uint32_t got = computeNextRun(s.rule, s.previousNextRun, s.base, s.now);
        SCOPED_TRACE("sample " + std::to_string(i) + ": mask " + std::to_string(s.rule.dayOfWeekMask) + " at "
                     + std::to_string(s.rule.hour) + ":" + std::to_string(s.rule.minute) + ", previous "
                     + std::to_string(s.previousNextRun) + ", base " + std::to_string(s.base) + ", now "
                     + std::to_string(s.now));
        ASSERT_GT(got, from);
        ASSERT_EQ(got, oracleNextRun(zone, s.rule, s.previousNextRun, from));
    }
}

std::string zoneName(const ZoneRule& zone) {
    std::string name = zone.tz;
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

std::string oracleCaseName(const ::testing::TestParamInfo<std::tuple<ZoneRule, uint32_t>>& info) {
    static const char* const kIntervals[] = {"daily", "weekly", "biweekly", "firstInMonth", "lastInMonth"};
    return zoneName(std::get<0>(info.param)) + "_" + kIntervals[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(
    ComputeNextRun, OracleAgreement,
    ::testing::Combine(::testing::Values(KsCalendarTest::kCentralEurope, KsCalendarTest::kUsEastern, KsCalendarTest::kJapan),
                       ::testing::Values(kNone, kWeekly, kBiweekly, kFirstInMonth, kLastInMonth)),
    oracleCaseName);

} // namespace
