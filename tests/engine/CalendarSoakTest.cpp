// Calendar and periodic tasks run by the real engine loop through the nights the clocks change, in
// two pinned zones. The clock is placed a little before each slot, the new-task event makes the
// engine re-arm its waitable timer, and the real timer brings the runs. The slots come from the
// zone's own offset table, never from the code under test; a spread task's runs are its slots moved
// by its delay, and Preview lists them before the engine runs them.
#include "CalendarTestZone.h"
#include "EngineLoopFixture.h"

#include "insight/InsightReplies.h"
#include "message/JSONFormatter.h"
#include "store/RunSpread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace kstest;
using KsCalendarTest::ZoneOracle;
using KsCalendarTest::ZoneRule;

constexpr int64_t kYear = 2027;
constexpr uint32_t kLead = 2;       // seconds the clock is placed before each slot
constexpr uint32_t kPeriod = 3600;  // the periodic task runs hourly through the night of the change,
constexpr int kPeriodicRuns = 4;    // from 00:15 local to past the changed hour
constexpr uint32_t kSunday = 0x01;
constexpr int kMinute = 30;
const wchar_t kPeriodicTask[] = L"hourly";
const std::wstring kLaunchTopic = L"TaskScheduler.Task.LaunchAttempt.";
const std::wstring kCompletedTopic = L"TaskScheduler.Task.Completed.";

enum class Change { springForward, fallBack };

struct Scenario {
    const char* label;
    ZoneRule zone;
    Change change;
};

// Names the scenario in test listings instead of its bytes.
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.label; }

// In this runtime a TZ string without transition dates takes the US ones in every zone: 02:00
// local on the second Sunday of March and the first Sunday of November.
const Scenario kScenarios[] = {
    {"CentralEuropeSpringForward", KsCalendarTest::kCentralEurope, Change::springForward},
    {"CentralEuropeFallBack", KsCalendarTest::kCentralEurope, Change::fallBack},
    {"UsEasternSpringForward", KsCalendarTest::kUsEastern, Change::springForward},
    {"UsEasternFallBack", KsCalendarTest::kUsEastern, Change::fallBack},
};

// Every calendar task runs on Sundays at the changed hour's half past: 02:30, which the spring
// night skips, or 01:30, which the autumn night repeats. Its runs fall on these days after the
// change day (itself a Sunday), up to the last Sunday the soak covers; the day after that is the
// next run left stored at the end. The soak ends once the first-in-month task has run: on 4 April
// after the spring change, on 5 December after the autumn one.
struct CalendarTask {
    const wchar_t* name;
    uint32_t interval;
    std::vector<int> springDays;  // from Sunday 14 March 2027
    std::vector<int> fallDays;    // from Sunday 7 November 2027
};

// Spread over two hours on a machine whose delay crosses the changed hour from 01:30 (1 to 1.5 h).
const wchar_t kSpreadTask[] = L"weekly-spread";
constexpr uint32_t kSpread = 7200;
std::wstring crossingIdentity()
{
    for (int i = 0;; ++i) {
        const uint32_t delay = KsSpread::runOffset(L"soak-machine-" + std::to_wstring(i), kSpreadTask, kSpread);
        if (delay >= 3600 && delay < 5400)
            return L"soak-machine-" + std::to_wstring(i);
    }
}

const CalendarTask kCalendarTasks[] = {
    {L"weekly", 1, {0, 7, 14, 21, 28}, {0, 7, 14, 21, 28, 35}},
    {L"biweekly", 2, {0, 14, 28}, {0, 14, 28, 42}},
    {L"first-in-month", 3, {21, 49}, {0, 28, 56}},  // 4 April, 2 May; 7 November, 5 December, 2 January
    {L"last-in-month", 4, {14, 42}, {21, 49}},      // 28 March, 25 April; 28 November, 26 December
};

// The run times Preview lists for a stored task.
std::vector<uint32_t> previewTimes(const wchar_t* name, uint32_t now, size_t count)
{
    Tessel::JSONFormatter reply;
    EXPECT_TRUE(reply.parse(KsInsight::previewReply({name, std::nullopt, static_cast<unsigned>(count)}, now)));
    std::vector<uint32_t> times;
    for (const auto& run : reply.root()[L"runs"].GetArray())
        times.push_back(run[L"time"].GetUint());
    return times;
}

class CalendarSoak : public EngineLoop, public ::testing::WithParamInterface<Scenario> {
protected:
    // Its write computes the first run from now.
    static void storeCalendarTask(const CalendarTask& kind, int hour)
    {
        storeTask({.name = kind.name, .type = KS_TASK_CUSTOM, .nextRun = 0, .freq = 0, .interval = kind.interval,
                   .dayOfWeekMask = kSunday, .hour = static_cast<uint32_t>(hour), .minute = kMinute});
    }

    std::string text(uint32_t instant) const
    {
        const KsCalendarTest::WallClock local = m_zone->wallClockAt(instant);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d %02d:%02d:%02d (UTC%+lld)",
                      static_cast<long long>(local.year), local.month, local.day, local.hour, local.minute,
                      local.second, static_cast<long long>(m_zone->offsetAt(instant) / 3600));
        return buffer;
    }

    // Places the clock `kLead` seconds before `slot`, lets the engine re-arm its timer, and takes
    // the launches of `due` and their completions. A launch of any other task, a second launch, or
    // a launch before the slot fails the test. False when some task did not come.
    bool runSlot(OffsetClock& clock, uint32_t slot, const std::set<std::wstring>& due)
    {
        clock.moveTo(slot - kLead);
        signalNewTask();
        std::set<std::wstring> launched, completed;
        while (completed.size() < due.size()) {
            auto message = m_inbox.take(std::chrono::milliseconds(kBoundMs));
            if (!message) {
                ADD_FAILURE() << "not every task due at " << text(slot) << " ran";
                return false;
            }
            const uint32_t at = clock.now();
            const std::wstring& topic = message->name();
            if (topic.rfind(kLaunchTopic, 0) == 0) {
                const std::wstring task = topic.substr(kLaunchTopic.size());
                const std::string name(task.begin(), task.end());
                EXPECT_TRUE(due.count(task) == 1 && launched.insert(task).second)
                    << name << " ran at " << text(at) << " outside its slot " << text(slot);
                EXPECT_GE(at, slot) << name << " ran before its slot " << text(slot);
                std::printf("%-16s slot %s  launched %+lld s\n", name.c_str(), text(slot).c_str(),
                            static_cast<long long>(at) - slot);
            } else if (topic.rfind(kCompletedTopic, 0) == 0) {
                const std::wstring task = topic.substr(kCompletedTopic.size());
                if (launched.count(task) == 1)
                    completed.insert(task);
            }
        }
        return true;
    }

    const ZoneOracle* m_zone = nullptr;
};

TEST_P(CalendarSoak, EachTaskRunsOncePerSlotAndNeverBefore)
{
    const Scenario& scenario = GetParam();
    KsCalendarTest::PinnedZone pinned(scenario.zone.tz);
    const ZoneOracle zone(scenario.zone);
    m_zone = &zone;
    const bool spring = scenario.change == Change::springForward;
    const int64_t changeDay = spring ? zone.springDay(kYear) : zone.autumnDay(kYear);
    const int hour = spring ? 2 : 1;
    OffsetClock clock(0);
    clock.moveTo(static_cast<uint32_t>(zone.instantOf(changeDay - 1, 12, 0)));

    // Each calendar task's slots, the next one first; the last is only stored, never run.
    std::map<std::wstring, std::vector<uint32_t>> slots;
    for (const CalendarTask& kind : kCalendarTasks) {
        storeCalendarTask(kind, hour);
        for (int day : spring ? kind.springDays : kind.fallDays)
            slots[kind.name].push_back(static_cast<uint32_t>(zone.instantOf(changeDay + day, hour, kMinute)));
        EXPECT_EQ(storedNextRun(kind.name), slots[kind.name].front()) << "first run of the stored task";
    }
    // The spread task's runs are its slots moved by its delay on this machine, as Preview lists them.
    const KsSpread::FixedMachineIdentity machine(crossingIdentity());
    KsSpread::MachineIdentity::install(&machine);
    storeCalendarTask({kSpreadTask, 1, {}, {}}, 1);
    CKsTask spreadTask(kSpreadTask);
    ASSERT_TRUE(spreadTask.Read());
    std::tie(spreadTask.dwSpread, spreadTask.dwNextRun) = std::tuple(kSpread, 0u);  // from now, as a create
    ASSERT_TRUE(spreadTask.Write());
    const uint32_t delay = KsSpread::runOffset(kSpreadTask, kSpread);
    for (int day : spring ? kCalendarTasks[0].springDays : kCalendarTasks[0].fallDays)
        slots[kSpreadTask].push_back(static_cast<uint32_t>(zone.instantOf(changeDay + day, 1, kMinute)) + delay);
    EXPECT_EQ(previewTimes(kSpreadTask, clock.now(), slots[kSpreadTask].size()), slots[kSpreadTask]);
    EXPECT_EQ(storedNextRun(kSpreadTask), slots[kSpreadTask].front()) << "first run of the spread task";

    // The periodic task's slots follow its runs: each is the next run its last run wrote.
    uint32_t periodicSlot = static_cast<uint32_t>(zone.instantOf(changeDay, 0, 15));
    storeTask({.name = kPeriodicTask, .nextRun = periodicSlot, .freq = kPeriod});
    int periodicRuns = 0;
    start();

    for (;;) {
        uint32_t next = periodicRuns < kPeriodicRuns ? periodicSlot : UINT32_MAX;
        for (const auto& [name, list] : slots)
            if (list.size() > 1)
                next = std::min(next, list.front());
        if (next == UINT32_MAX)
            break;
        std::set<std::wstring> due;
        for (const auto& [name, list] : slots)
            if (list.size() > 1 && list.front() == next)
                due.insert(name);
        const bool periodicDue = periodicRuns < kPeriodicRuns && periodicSlot == next;
        if (periodicDue)
            due.insert(kPeriodicTask);
        if (!runSlot(clock, next, due))
            break;

        for (auto& [name, list] : slots) {
            if (due.count(name) == 0)
                continue;
            list.erase(list.begin());
            EXPECT_EQ(storedNextRun(name.c_str()), list.front())
                << std::string(name.begin(), name.end()) << ": next run after " << text(next) << " is "
                << text(storedNextRun(name.c_str())) << ", not " << text(list.front());
        }
        if (periodicDue) {
            // Written from the engine's now at the run: between the slot and this moment.
            const uint32_t written = storedNextRun(kPeriodicTask);
            EXPECT_GE(written, next + kPeriod) << "the periodic task ran before " << text(next);
            EXPECT_LE(written, clock.now() + kPeriod);
            periodicSlot = written;
            if (++periodicRuns == kPeriodicRuns) {
                // Dropped by the engine before the clock moves on: held a week later, it would be
                // overdue and run at once.
                LogCapture log;
                CKsTask task(kPeriodicTask);
                EXPECT_TRUE(task.Delete());
                signalNewTask();
                EXPECT_TRUE(awaitLogged(log, L"Task hourly was not found in the registry"));
            }
        }
    }
    stop();  // before the clock goes
    KsSpread::MachineIdentity::install(nullptr);
    while (auto message = m_inbox.take(std::chrono::milliseconds(0)))
        EXPECT_NE(message->name().rfind(kLaunchTopic, 0), 0u) << "a run after the last slot";
}

INSTANTIATE_TEST_SUITE_P(Changes, CalendarSoak, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
