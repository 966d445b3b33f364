// Exact next-run times of the calendar rule for hand-checked calendars, in pinned time zones.
#include "store/CalendarRule.h"

#include "CalendarTestZone.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

namespace {

using KsCalendar::CalendarRule;
using KsCalendar::computeNextRun;
using KsCalendarTest::ZoneRule;

constexpr uint32_t kSun = 0x01, kMon = 0x02, kTue = 0x04, kWed = 0x08, kThu = 0x10, kFri = 0x20, kSat = 0x40;
constexpr uint32_t kNone = 0, kWeekly = 1, kBiweekly = 2, kFirstInMonth = 3, kLastInMonth = 4;

// A local reading; `daylight` says which offset it is read with in a zone that has daylight time.
struct Local {
    int year, month, day, hour, minute, second;
    bool daylight = false;
};

constexpr Local kNever{0, 0, 0, 0, 0, 0, false};

int64_t instantIn(const ZoneRule& zone, const Local& local) {
    const int64_t offset = zone.standardOffset + (zone.hasDaylightSaving && local.daylight ? 3600 : 0);
    return KsCalendarTest::utcOfCivil(local.year, local.month, local.day, local.hour, local.minute, local.second) - offset;
}

struct RuleCase {
    const char* name;
    CalendarRule rule;
    Local previous; // kNever: never scheduled
    Local base;
    Local expected;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

uint32_t runIn(const ZoneRule& zone, const RuleCase& c) {
    const uint32_t previous = c.previous.year == 0 ? 0 : static_cast<uint32_t>(instantIn(zone, c.previous));
    return computeNextRun(c.rule, previous, static_cast<uint32_t>(instantIn(zone, c.base)), 0);
}

// Calendars away from daylight-saving changes: the same local answer in every zone. Month lengths
// and year ends at large are the oracle's; these are the worked, hand-checked cases.
const RuleCase kCalendarCases[] = {
    {"WorkedExampleMondayFriday", {kMon | kFri, kWeekly, 9, 30}, kNever, {2025, 1, 15, 10, 0, 0}, {2025, 1, 17, 9, 30, 0}},
    {"WeeklyRunsSameDayBeforeSlot", {kSun, kWeekly, 8, 0}, kNever, {2025, 1, 19, 7, 59, 0}, {2025, 1, 19, 8, 0, 0}},
    {"WeeklyAtSlotRunsNextWeek", {kSun, kWeekly, 8, 0}, kNever, {2025, 1, 19, 8, 0, 0}, {2025, 1, 26, 8, 0, 0}},
    {"WeeklyIgnoresSecondsBeforeSlot", {kSun, kWeekly, 8, 0}, kNever, {2025, 1, 19, 7, 59, 59}, {2025, 1, 19, 8, 0, 0}},
    {"WeeklyOverYearEnd", {kThu, kWeekly, 9, 0}, kNever, {2025, 12, 31, 10, 0, 0}, {2026, 1, 1, 9, 0, 0}},
    {"WeeklyMaskWithoutWeekDaysWaitsAWeek", {0x80, kWeekly, 9, 30}, kNever, {2025, 1, 15, 10, 0, 0}, {2025, 1, 23, 9, 30, 0}},
    {"DailyIgnoresMask", {kSun, kNone, 9, 30}, kNever, {2025, 1, 15, 10, 0, 0}, {2025, 1, 16, 9, 30, 0}},
    {"UnknownIntervalRunsDaily", {kSun, 9, 9, 30}, kNever, {2025, 1, 15, 9, 0, 0}, {2025, 1, 15, 9, 30, 0}},
    {"BaseBeforeStoredRunStartsAfterIt", {kMon | kFri, kWeekly, 9, 30}, {2025, 1, 17, 9, 30, 0}, {2025, 1, 13, 10, 0, 0},
     {2025, 1, 20, 9, 30, 0}},
    {"FirstInMonthFromNinthMovesToNextMonth", {kTue, kFirstInMonth, 12, 0}, kNever, {2025, 1, 9, 12, 0, 0},
     {2025, 2, 4, 12, 0, 0}},
    {"FirstInMonthWithinFirstWeek", {kMon, kFirstInMonth, 12, 0}, kNever, {2025, 1, 2, 10, 0, 0}, {2025, 1, 6, 12, 0, 0}},
    {"FirstInMonthDayGoneThisWeek", {kWed, kFirstInMonth, 12, 0}, kNever, {2025, 1, 2, 10, 0, 0}, {2025, 2, 5, 12, 0, 0}},
    {"LastInMonth30DaysFirstDayOfWindow", {kThu, kLastInMonth, 18, 0}, kNever, {2025, 4, 10, 12, 0, 0, true},
     {2025, 4, 24, 18, 0, 0, true}},
    {"LastInMonth30DaysLastDay", {kWed, kLastInMonth, 18, 0}, kNever, {2025, 4, 10, 12, 0, 0, true},
     {2025, 4, 30, 18, 0, 0, true}},
    {"LastInMonthWindowPassedMovesToNextMonth", {kThu, kLastInMonth, 18, 0}, kNever, {2025, 4, 25, 12, 0, 0, true},
     {2025, 5, 29, 18, 0, 0, true}},
    {"BiweeklySkipsFollowingWeek", {kMon, kBiweekly, 9, 0}, {2025, 1, 6, 9, 0, 0}, {2025, 1, 6, 9, 0, 5},
     {2025, 1, 20, 9, 0, 0}},
    {"BiweeklyRunsLaterDayOfRunWeek", {kMon | kThu, kBiweekly, 9, 0}, {2025, 1, 6, 9, 0, 0}, {2025, 1, 6, 9, 0, 5},
     {2025, 1, 9, 9, 0, 0}},
    {"BiweeklyLastDayOfRunWeekSkipsAWeek", {kMon | kThu, kBiweekly, 9, 0}, {2025, 1, 9, 9, 0, 0}, {2025, 1, 9, 9, 0, 5},
     {2025, 1, 20, 9, 0, 0}},
    {"BiweeklyOverdueInOffWeekWaitsForRunWeek", {kMon | kFri, kBiweekly, 9, 0}, {2025, 1, 6, 9, 0, 0},
     {2025, 1, 15, 10, 0, 0}, {2025, 1, 20, 9, 0, 0}},
    {"BiweeklyNeverScheduledTakesThisWeek", {kFri, kBiweekly, 9, 0}, kNever, {2025, 1, 15, 10, 0, 0}, {2025, 1, 17, 9, 0, 0}},
    {"BiweeklyNeverScheduledWithoutDayLeftTakesNextWeek", {kMon, kBiweekly, 9, 0}, kNever, {2025, 1, 15, 10, 0, 0},
     {2025, 1, 20, 9, 0, 0}},
    // Two weeks after the previous run's week, counted over the lost spring hour.
    {"BiweeklyCountsWeeksOverSpringForward", {kSun | kMon, kBiweekly, 9, 0}, {2025, 3, 3, 9, 0, 0},
     {2025, 3, 15, 10, 0, 0, true}, {2025, 3, 16, 9, 0, 0, true}},
    {"WeeklyOverSpringForward", {kSun, kWeekly, 9, 0}, kNever, {2025, 3, 8, 10, 0, 0}, {2025, 3, 9, 9, 0, 0, true}},
    {"WeeklyOverFallBack", {kSun, kWeekly, 9, 0}, kNever, {2025, 11, 1, 10, 0, 0, true}, {2025, 11, 2, 9, 0, 0}},
};

// Slots on the nights the clocks change, in zones that change them on 2025-03-09 and 2025-11-02
// between 02:00 and 03:00 (spring) or 01:00 and 02:00 (autumn, repeated).
const RuleCase kDaylightSavingCases[] = {
    {"SkippedSlotRunsAfterTheGap", {kSun, kNone, 2, 30}, kNever, {2025, 3, 8, 12, 0, 0}, {2025, 3, 9, 3, 30, 0, true}},
    {"SkippedSlotRunsFromBaseInsideMovedHour", {kSun, kNone, 2, 30}, kNever, {2025, 3, 9, 3, 10, 0, true},
     {2025, 3, 9, 3, 30, 0, true}},
    {"SkippedSlotPassedRunsNextDay", {kSun, kNone, 2, 30}, kNever, {2025, 3, 9, 3, 40, 0, true},
     {2025, 3, 10, 2, 30, 0, true}},
    {"SlotAtEndOfGapIsNotMoved", {kSun, kWeekly, 3, 0}, kNever, {2025, 3, 8, 12, 0, 0}, {2025, 3, 9, 3, 0, 0, true}},
    {"RepeatedSlotRunsAtFirstOccurrence", {kSun, kNone, 1, 30}, kNever, {2025, 11, 1, 12, 0, 0, true},
     {2025, 11, 2, 1, 30, 0, true}},
    {"RepeatedSlotBeforeFirstPassRunsThatPass", {kSun, kNone, 1, 45}, kNever, {2025, 11, 2, 1, 30, 0, true},
     {2025, 11, 2, 1, 45, 0, true}},
    {"RepeatedSlotAfterFirstPassRunsNextDay", {kSun, kNone, 1, 30}, kNever, {2025, 11, 2, 1, 40, 0, true},
     {2025, 11, 3, 1, 30, 0}},
    {"RepeatedSlotDoesNotRunInSecondPass", {kSun, kNone, 1, 30}, kNever, {2025, 11, 2, 1, 10, 0},
     {2025, 11, 3, 1, 30, 0}},
    {"SlotAfterRepeatedHourUsesStandardTime", {kSun, kWeekly, 2, 0}, kNever, {2025, 11, 1, 12, 0, 0, true},
     {2025, 11, 2, 2, 0, 0}},
};

class ZonedRuleTest : public ::testing::TestWithParam<std::tuple<ZoneRule, RuleCase>> {
protected:
    const ZoneRule& zone() const { return std::get<0>(GetParam()); }
    const RuleCase& ruleCase() const { return std::get<1>(GetParam()); }
};

std::string zonedCaseName(const ::testing::TestParamInfo<std::tuple<ZoneRule, RuleCase>>& info) {
    std::string zone = std::get<0>(info.param).tz;
    for (char& c : zone)
        if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return std::string(std::get<1>(info.param).name) + "_" + zone;
}

TEST_P(ZonedRuleTest, GivesExactInstant) {
    KsCalendarTest::PinnedZone pinned(zone().tz);
    EXPECT_EQ(runIn(zone(), ruleCase()), instantIn(zone(), ruleCase().expected));
}

INSTANTIATE_TEST_SUITE_P(Calendar, ZonedRuleTest,
                         ::testing::Combine(::testing::Values(KsCalendarTest::kCentralEurope, KsCalendarTest::kUsEastern,
                                                              KsCalendarTest::kJapan),
                                            ::testing::ValuesIn(kCalendarCases)),
                         zonedCaseName);

INSTANTIATE_TEST_SUITE_P(DaylightSaving, ZonedRuleTest,
                         ::testing::Combine(::testing::Values(KsCalendarTest::kCentralEurope, KsCalendarTest::kUsEastern),
                                            ::testing::ValuesIn(kDaylightSavingCases)),
                         zonedCaseName);

// Bases given as raw 32-bit values near the unsigned limit, in central Europe; past the signed one,
// every oracle sample after 2038 tells.
struct EdgeCase {
    const char* name;
    CalendarRule rule;
    uint32_t previous;
    uint32_t base;
    Local expected;
};

void PrintTo(const EdgeCase& c, std::ostream* os) { *os << c.name; }

class ThirtyTwoBitEdge : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(ThirtyTwoBitEdge, GivesExactInstant) {
    KsCalendarTest::PinnedZone pinned(KsCalendarTest::kCentralEurope.tz);
    const EdgeCase& c = GetParam();
    const int64_t expected = instantIn(KsCalendarTest::kCentralEurope, c.expected);
    ASSERT_LE(expected, int64_t{UINT32_MAX});
    EXPECT_EQ(computeNextRun(c.rule, c.previous, c.base, 0), expected);
}

INSTANTIATE_TEST_SUITE_P(
    ComputeNextRun, ThirtyTwoBitEdge,
    ::testing::Values(
        EdgeCase{"BaseTwoHoursBeforeUnsignedEnd", {kSun, kNone, 6, 0}, 0, 0xFFFFFFFFu - 7200, {2106, 2, 7, 6, 0, 0}},
        EdgeCase{"StoredRunAnHourBeforeUnsignedEnd", {kSun, kNone, 7, 0}, 0xFFFFFFFFu - 3600, 1, {2106, 2, 7, 7, 0, 0}}),
    [](const ::testing::TestParamInfo<EdgeCase>& info) { return std::string(info.param.name); });

// A run that would fall after 2106 keeps its low 32 bits, like every stored time.
TEST(ComputeNextRun, RunBeyond2106KeepsLow32Bits) {
    KsCalendarTest::PinnedZone pinned(KsCalendarTest::kCentralEurope.tz);
    const int64_t beyond = instantIn(KsCalendarTest::kCentralEurope, {2106, 2, 8, 6, 0, 0});
    EXPECT_EQ(computeNextRun({kSun, kNone, 6, 0}, 0, 0xFFFFFFFFu, 0), static_cast<uint32_t>(beyond));
}

class EmptyMask : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {};

TEST_P(EmptyMask, LeavesStoredRunUnchanged) {
    const auto [interval, previous] = GetParam();
    EXPECT_EQ(computeNextRun({0, interval, 9, 30}, previous, 1736935200u, 1736935200u), previous);
    EXPECT_EQ(computeNextRun({0, interval, 9, 30}, previous, 0, 1736935200u), previous);
}

INSTANTIATE_TEST_SUITE_P(ComputeNextRun, EmptyMask,
                         ::testing::Combine(::testing::Values(kNone, kWeekly, kBiweekly, kFirstInMonth, kLastInMonth),
                                            ::testing::Values(0u, 1736935200u, 0xFFFFFFFFu)));

} // namespace
