// The spread delay: drawn from the machine and the task, the same for the same pair, even across
// machines; and the calendar's moved runs: never before their slot, never at or past the next,
// each run's successor the next slot's moved run.
#include "store/CalendarRule.h"
#include "store/KsTask.h"
#include "store/RunSpread.h"

#include "CalendarTestZone.h"
#include "RegistryFixture.h"
#include "TestClock.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using KsCalendar::CalendarRule;

std::wstring identity(int i) { return L"4f1c0a2e-9b7d-4e61-8c3a-" + std::to_wstring(100000000000 + i); }

class MachineGuid : public kstest::RegistryFixture {};

TEST_F(MachineGuid, IsReadFromTheCryptographyKey)
{
    EXPECT_EQ(KsSpread::readMachineGuid(), L"");
    setString(L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid", identity(7));
    EXPECT_EQ(KsSpread::readMachineGuid(), identity(7));
}

// The task object of a restarted engine on the same machine, naming the task in another case,
// moves the run by the same delay; another machine, or another task, gets another.
TEST(RunOffset, IsTheSameAfterARestartAndDiffersBetweenMachinesAndTasks)
{
    const kstest::TestClock clock(1800000000);
    const std::pair<int, const wchar_t*> starts[] = {{3, L"Weekly Scan"}, {3, L"weekly scan"}, {4, L"weekly scan"}};
    std::vector<uint32_t> runs;
    for (const auto& [machine, name] : starts) {
        const KsSpread::FixedMachineIdentity identified(identity(machine));
        KsSpread::MachineIdentity::install(&identified);
        CKsTask task(name);
        std::tie(task.dwDayOfWeekMask, task.dwInterval, task.dwHour, task.dwSpread) = std::tuple(0x08, 1, 3, 86400);
        task.ComputeNextRun(0);
        runs.push_back(task.dwNextRun);
    }
    KsSpread::MachineIdentity::install(nullptr);
    const uint32_t slot = KsCalendar::computeNextRun({0x08, 1, 3, 0}, 0, 0, clock.value);
    EXPECT_EQ(runs, (std::vector<uint32_t>{runs[0], runs[0], runs[2]}));
    EXPECT_EQ(runs[0], slot + KsSpread::runOffset(identity(3), L"weekly scan", 86400));
    EXPECT_NE(runs[0], slot);
    EXPECT_NE(runs[2], runs[0]);
    EXPECT_NE(KsSpread::runOffset(identity(3), L"weekly update", 86400), runs[0] - slot);
    EXPECT_EQ(KsSpread::runOffset(identity(3), L"weekly scan", 0), 0u);
}

// Ten equal parts of the spread each take a tenth of 20,000 machines, within 10 % (over 4 sigma).
TEST(RunOffset, IsEvenAcrossMachines)
{
    constexpr int kMachines = 20000, kParts = 10, kSpread = 3600;
    int counts[kParts] = {};
    for (int i = 0; i < kMachines; ++i) {
        const uint32_t offset = KsSpread::runOffset(identity(i), L"weekly scan", kSpread);
        ASSERT_LT(offset, kSpread);
        ++counts[offset * kParts / kSpread];
    }
    for (int count : counts)
        EXPECT_NEAR(count, kMachines / kParts, kMachines / kParts / 10);
}

// Every rule kind, delays from none to longer than the rule's gaps, from moments through ten
// months that hold both daylight-saving nights of a zone.
TEST(SpreadRuns, NeverEarlyNeverPastTheNextSlotAndChainSlotBySlot)
{
    KsCalendarTest::PinnedZone pinned(KsCalendarTest::kUsEastern.tz);
    const CalendarRule rules[] = {{0x7F, 0, 1, 30}, {0x41, 1, 2, 15}, {0x40, 2, 23, 30}, {0x02, 3, 0, 0}, {0x20, 4, 12, 5}};
    const uint32_t offsets[] = {0, 59, 3600, 86399, 2000000};
    const uint32_t start = static_cast<uint32_t>(KsCalendarTest::utcOfCivil(2026, 2, 20, 0, 0));
    for (const CalendarRule& plain : rules) {
        for (uint32_t offset : offsets) {
            CalendarRule rule = plain;
            rule.spreadOffset = offset;
            for (uint32_t now = start; now < start + 300 * 86400; now += 37 * 3600) {
                SCOPED_TRACE(std::to_string(plain.interval) + "/" + std::to_string(offset) + "/" + std::to_string(now));
                const uint32_t slot = KsCalendar::computeNextRun(plain, 0, 0, now);
                const uint32_t nextSlot = KsCalendar::computeNextRun(plain, slot, 0, slot);
                const uint32_t run = KsCalendar::computeNextRun(rule, 0, 0, now);
                ASSERT_GE(run, slot);
                ASSERT_LE(run - slot, offset);
                ASSERT_LT(run, nextSlot);
                ASSERT_EQ(KsCalendar::slotOfRun(rule, run), std::optional<uint32_t>(slot));
                // The engine's advance after the run, from the moment it ran.
                ASSERT_EQ(KsCalendar::computeNextRun(rule, run, 0, run), nextSlot + KsCalendar::spreadDelayAt(rule, nextSlot));
            }
        }
    }
}

} // namespace
