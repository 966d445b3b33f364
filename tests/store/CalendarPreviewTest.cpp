// Run previews in pinned zones across the nights the clocks change: exact instants, notes and
// ISO texts of each run, and agreement with the next runs the task itself computes as the engine
// drives it. Zones without dates of their own change on 2026-03-08 and 2026-11-01. Weekly rules
// run west of UTC only: the daily ones east of it show the offsets' other sign.
#include "common/TimeText.h"
#include "store/CalendarPreview.h"
#include "store/KsTask.h"

#include "CalendarTestZone.h"
#include "TestClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using KsCalendar::CalendarRule;
using KsCalendar::PreviewRun;

constexpr uint32_t kSun = 0x01, kWed = 0x08, kSat = 0x40, kEveryDay = 0x7F, kDaily = 0, kWeekly = 1;
constexpr const char* kEastern = KsCalendarTest::kUsEastern.tz;
constexpr const char* kCentral = KsCalendarTest::kCentralEurope.tz;

// The exact instant an ISO 8601 text names, read without any zone.
uint32_t instantOf(const std::string& iso) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, oh = 0, om = 0;
    char sign = '+';
    EXPECT_EQ(std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d%c%d:%d", &y, &mo, &d, &h, &mi, &s, &sign, &oh, &om), 9) << iso;
    const int64_t offset = (oh * 3600 + om * 60) * (sign == '-' ? -1 : 1);
    return static_cast<uint32_t>(KsCalendarTest::utcOfCivil(y, mo, d, h, mi, s) - offset);
}

std::wstring widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

struct Run {
    const char* iso;
    const wchar_t* note;
};

struct PreviewCase {
    const char* name;
    const char* tz;
    CalendarRule rule;  // when period is 0
    uint32_t period;    // seconds between the runs of a periodic task
    const char* stored; // the stored next run; nullptr: none
    const char* now;
    unsigned count;
    size_t runs;              // how many runs the preview gives
    std::vector<Run> leading; // its first runs, exactly
};

void PrintTo(const PreviewCase& c, std::ostream* os) { *os << c.name; }

const PreviewCase kCases[] = {
    {"DailySlotInSpringGapIsShifted", kEastern, {kEveryDay, kDaily, 2, 30}, 0, nullptr, "2026-03-07T12:00:00-05:00", 3, 3,
     {{"2026-03-08T03:30:00-04:00", L"shifted"}, {"2026-03-09T02:30:00-04:00", L""}, {"2026-03-10T02:30:00-04:00", L""}}},
    {"DailySlotInSpringGapIsShiftedEast", kCentral, {kEveryDay, kDaily, 2, 30}, 0, nullptr, "2026-03-07T12:00:00+01:00", 3, 3,
     {{"2026-03-08T03:30:00+02:00", L"shifted"}, {"2026-03-09T02:30:00+02:00", L""}, {"2026-03-10T02:30:00+02:00", L""}}},
    // The stored run ahead comes first, off its slot (a moved run) yet not shifted; 02:00 on the
    // spring night is the gap's first minute.
    {"WeeklyFromStoredRunOverSpringGap", kEastern, {kSun | kWed, kWeekly, 2, 0}, 0, "2026-03-04T02:10:00-05:00",
     "2026-03-03T12:00:00-05:00", 4, 4,
     {{"2026-03-04T02:10:00-05:00", L""}, {"2026-03-08T03:00:00-04:00", L"shifted"},
      {"2026-03-11T02:00:00-04:00", L""}, {"2026-03-15T02:00:00-04:00", L""}}},
    {"DailySlotInRepeatedHourRunsOnce", kEastern, {kEveryDay, kDaily, 1, 30}, 0, nullptr, "2026-10-31T12:00:00-04:00", 3, 3,
     {{"2026-11-01T01:30:00-04:00", L"repeated hour"}, {"2026-11-02T01:30:00-05:00", L""},
      {"2026-11-03T01:30:00-05:00", L""}}},
    {"DailySlotInRepeatedHourRunsOnceEast", kCentral, {kEveryDay, kDaily, 1, 30}, 0, nullptr, "2026-10-31T12:00:00+02:00", 3,
     3, {{"2026-11-01T01:30:00+02:00", L"repeated hour"}, {"2026-11-02T01:30:00+01:00", L""},
         {"2026-11-03T01:30:00+01:00", L""}}},
    // An overdue stored run gives way to the next one from now; 01:00 opens the repeated hour.
    {"WeeklyFromOverdueRunOverAutumnChange", kEastern, {kSat | kSun, kWeekly, 1, 0}, 0, "2026-10-25T01:00:00-04:00",
     "2026-10-30T12:00:00-04:00", 4, 4,
     {{"2026-10-31T01:00:00-04:00", L""}, {"2026-11-01T01:00:00-04:00", L"repeated hour"},
      {"2026-11-07T01:00:00-05:00", L""}, {"2026-11-08T01:00:00-05:00", L""}}},
    // Instants, not slots: both passes of 01:30 run, each read with the offset then in force.
    {"HourlyPeriodicThroughRepeatedHour", kEastern, {}, 3600, nullptr, "2026-11-01T00:30:00-04:00", 3, 3,
     {{"2026-11-01T01:30:00-04:00", L""}, {"2026-11-01T01:30:00-05:00", L""}, {"2026-11-01T02:30:00-05:00", L""}}},
    {"HourlyPeriodicThroughRepeatedHourEast", kCentral, {}, 3600, nullptr, "2026-11-01T00:30:00+02:00", 3, 3,
     {{"2026-11-01T01:30:00+02:00", L""}, {"2026-11-01T01:30:00+01:00", L""}, {"2026-11-01T02:30:00+01:00", L""}}},
    {"DailyPeriodicFromStoredRun", kEastern, {}, 86400, "2026-03-07T23:00:00-05:00", "2026-03-07T12:00:00-05:00", 2, 2,
     {{"2026-03-07T23:00:00-05:00", L""}, {"2026-03-09T00:00:00-04:00", L""}}},
    {"PeriodicEndsBeforeWrappingPast2106", kEastern, {}, 86400, nullptr, "2106-02-05T07:00:00-05:00", 5, 1,
     {{"2106-02-06T07:00:00-05:00", L""}}},
    {"CountAboveLimitGivesHundred", kEastern, {kEveryDay, kDaily, 9, 0}, 0, nullptr, "2026-10-01T12:00:00-04:00", 101, 100,
     {{"2026-10-02T09:00:00-04:00", L""}}},
    {"CountZeroGivesNone", kCentral, {kEveryDay, kDaily, 9, 0}, 0, nullptr, "2026-10-01T12:00:00+02:00", 0, 0, {}},
    {"CalendarWithoutDaysGivesNone", kCentral, {0, kWeekly, 9, 0}, 0, nullptr, "2026-10-01T12:00:00+02:00", 5, 0, {}},
    // A spread delay adds seconds to the slot's instant, across the hour the clock skips or repeats.
    {"SpreadAcrossSpringGap", kEastern, {kEveryDay, kDaily, 1, 30, 3600}, 0, nullptr, "2026-03-07T12:00:00-05:00", 2, 2,
     {{"2026-03-08T03:30:00-04:00", L"spread"}, {"2026-03-09T02:30:00-04:00", L"spread"}}},
    {"SpreadIntoRepeatedHour", kEastern, {kEveryDay, kDaily, 0, 45, 5400}, 0, nullptr, "2026-10-31T12:00:00-04:00", 2, 2,
     {{"2026-11-01T01:15:00-05:00", L"spread"}, {"2026-11-02T02:15:00-05:00", L"spread"}}},
    // Cut to a minute before the next slot: 23 hours on the spring night, 24 after it.
    {"SpreadLongerThanGapEndsBeforeNextSlot", kEastern, {kEveryDay, kDaily, 1, 0, 200000}, 0, nullptr,
     "2026-03-07T12:00:00-05:00", 2, 2, {{"2026-03-09T00:59:00-04:00", L"spread"}, {"2026-03-10T00:59:00-04:00", L"spread"}}},
    // Carried past Saturday midnight, the run keeps its slot's weeks.
    {"BiweeklySpreadIntoSundayKeepsItsWeeks", kEastern, {kSat, 2, 23, 30, 3600}, 0, nullptr, "2026-10-01T12:00:00-04:00",
     2, 2, {{"2026-10-04T00:30:00-04:00", L"spread"}, {"2026-10-18T00:30:00-04:00", L"spread"}}},
    {"SpreadAfterDeferredStoredRun", kCentral, {kEveryDay, kDaily, 9, 0, 600}, 0, "2026-10-01T15:00:00+02:00",
     "2026-10-01T12:00:00+02:00", 2, 2, {{"2026-10-01T15:00:00+02:00", L""}, {"2026-10-02T09:10:00+02:00", L"spread"}}},
};

class RunPreview : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(RunPreview, GivesTheEnginesRunsInLocalTime) {
    const PreviewCase& c = GetParam();
    KsCalendarTest::PinnedZone pinned(c.tz);
    const uint32_t stored = c.stored != nullptr ? instantOf(c.stored) : 0;
    const uint32_t now = instantOf(c.now);
    const std::vector<PreviewRun> runs = c.period != 0 ? KsCalendar::previewPeriodicRuns(c.period, stored, now, c.count)
                                                       : KsCalendar::previewCalendarRuns(c.rule, stored, now, c.count);
    ASSERT_EQ(runs.size(), c.runs);
    for (size_t i = 0; i < c.leading.size(); ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        EXPECT_EQ(runs[i].time, instantOf(c.leading[i].iso));
        EXPECT_EQ(std::wstring(runs[i].note), std::wstring(c.leading[i].note));
        EXPECT_EQ(Keelwork::isoLocalTimeText(runs[i].time), widened(c.leading[i].iso));
    }
    // The task's next runs as the engine drives them: computed at once when the stored run is not
    // ahead, then written again after each run, at the run's own time. (Spread: the engine soak.)
    if (c.rule.spreadOffset != 0)
        return;
    kstest::TestClock clock(now);
    CKsTask task(L"preview");
    task.dwDayOfWeekMask = c.rule.dayOfWeekMask;
    task.dwInterval = c.rule.interval;
    task.dwHour = c.rule.hour;
    task.dwMinute = c.rule.minute;
    task.dwNextRun = stored;
    const auto engineNextRun = [&] {
        if (c.period != 0)
            task.dwNextRun = clock.now() + c.period;
        else
            task.ComputeNextRun(0);
    };
    if (stored <= now)
        engineNextRun();
    uint32_t previous = now;
    for (const PreviewRun& run : runs) {
        ASSERT_EQ(run.time, task.dwNextRun);
        previous = clock.value = run.time;
        engineNextRun();
    }
    // A preview cut short ends where the engine's next run would not come after the last one.
    if (runs.size() < std::min(c.count, KsCalendar::kMaxPreviewRuns)) {
        EXPECT_LE(task.dwNextRun, previous);
    }
}

INSTANTIATE_TEST_SUITE_P(Calendar, RunPreview, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PreviewCase>& info) { return std::string(info.param.name); });

// Every 32-bit time reads in local time, on the first day of 1970 west of UTC and at the last
// second of 2106 too; the log-line text is the same reading.
TEST(IsoLocalTimeText, ReadsAnyThirtyTwoBitTime) {
    const struct {
        const char* tz;
        uint32_t seconds;
        const char* iso;
    } kTexts[] = {{kEastern, 0, "1969-12-31T19:00:00-05:00"},
                  {kCentral, 0xFFFFFFFFu, "2106-02-07T07:28:15+01:00"},
                  {"UTC0", 1796681700u, "2026-12-07T22:15:00+00:00"}};
    for (const auto& t : kTexts) {
        KsCalendarTest::PinnedZone pinned(t.tz);
        EXPECT_EQ(Keelwork::isoLocalTimeText(t.seconds), widened(t.iso)) << t.tz;
        std::wstring logText = widened(std::string(t.iso, 19));
        logText[10] = L' ';
        EXPECT_EQ(Keelwork::localTimeText(t.seconds), logText) << t.tz;
    }
}

} // namespace
