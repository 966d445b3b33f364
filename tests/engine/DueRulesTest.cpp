// Which tasks the queue builder queues, with which priority, and in which order they leave.
#include "TaskManagerFixture.h"

#include "CalendarTestZone.h"
#include "ExpectLogged.h"
#include "engine/QueuePriority.h"
#include "engine/RunQueue.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

namespace {

using kstest::Console;
using kstest::kNow;
using kstest::storeTask;
using kstest::TestTask;

constexpr int64_t kDay = 86400;
constexpr DWORD kWindow = 43200;
constexpr uint32_t kNotQueued = 0xFFFFFFFF;
constexpr DWORD kNoCount = 0xFFFFFFFF;
// The queue priorities the rows expect.
constexpr uint32_t kLate = KS_PRIORITY_HIGHEST;
constexpr uint32_t kBoot = KS_PRIORITY_REALTIME;
constexpr uint32_t kIdle = KS_PRIORITY_LOW;

enum class Run { normal, maintenance };

struct DueCase {
    const char* label;
    TestTask task;
    DWORD askedType;
    Run run;
    Console console;
    uint32_t priority;   // kNotQueued when the task must stay out of the queue
    DWORD storedCount;   // "NextRun" after the call, for occasion tasks; kNoCount otherwise
    // Out-of-box mode: the task's hold (0: not in OOBE mode), seconds since the engine started,
    // and whether the call is the expiry check's.
    DWORD oobeHold = 0;
    uint32_t sinceStart = 0;
    DWORD outOfOobe = 0;
    const char* zone = "UTC0";  // the machine's time zone (TZ)
};

void PrintTo(const DueCase& row, std::ostream* out)
{
    *out << row.label;
}

// A timed task due `offset` seconds from now, with its flags.
TestTask timed(int64_t offset, uint32_t wise = 0)
{
    return TestTask{.nextRun = static_cast<uint32_t>(kNow + offset), .freq = 0, .wise = wise};
}
// The same, waiting for an idle user.
TestTask idler(int64_t offset, uint32_t wise = 0)
{
    TestTask task = timed(offset, wise);
    task.runWhenIdle = 1;
    return task;
}
// A log-on or boot task that has seen `count` of its occasions and runs every `freq`.
TestTask occasion(uint32_t type, uint32_t count, uint32_t freq, uint32_t wise = 0)
{
    return TestTask{.type = type, .nextRun = count, .freq = freq, .wise = wise};
}

constexpr uint32_t kScheduled = KS_TASK_SCHEDULED;
constexpr uint32_t kLogon = KS_TASK_LOGON;
constexpr uint32_t kReboot = KS_TASK_REBOOT;
constexpr uint32_t kAmFutureExclusion = KS_AM_FUTURE_TASK_EXCLUSION_WISE;
constexpr uint32_t kAmExclusion = KS_AM_TASK_EXCLUSION_WISE;
constexpr uint32_t kLongOverdue = KS_LONG_OVERDUE_TASK_WISE;
constexpr uint32_t kAdmin = KS_ADMIN_WISE;
constexpr Run kAm = Run::maintenance;
constexpr Run kNormal = Run::normal;
constexpr Console kUser = Console::user;

const DueCase kDueCases[] = {
    {"OverdueTimed", timed(-60), kScheduled, kNormal, kUser, kLate, kNoCount},
    {"FutureTimed", timed(60), kScheduled, kNormal, kUser, kNotQueued, kNoCount},
    {"EqualSecondIsDue", timed(0), kScheduled, kNormal, kUser, kLate, kNoCount},
    {"AmWindowTakesTaskDueIn11Hours", timed(11 * 3600), kScheduled, kAm, kUser, kLate, kNoCount},
    {"AmWindowEndsAt12Hours", timed(12 * 3600 + 1), kScheduled, kAm, kUser, kNotQueued, kNoCount},
    {"AmFutureExclusionFlag", timed(11 * 3600, kAmFutureExclusion), kScheduled, kAm, kUser, kNotQueued, kNoCount},
    {"AmFutureExclusionStillRunsOverdue", timed(-60, kAmFutureExclusion), kScheduled, kAm, kUser, kLate, kNoCount},
    {"AmExclusionFlagEvenOverdue", timed(-60, kAmExclusion), kScheduled, kAm, kUser, kNotQueued, kNoCount},
    {"AmExclusionFlagOutsideAmMode", timed(-60, kAmExclusion), kScheduled, kNormal, kUser, kLate, kNoCount},
    {"IdleTaskTwoDaysLate", idler(-2 * kDay), kScheduled, kNormal, kUser, kIdle, kNoCount},
    {"IdleTaskFourDaysLateIsLongOverdue", idler(-4 * kDay), kScheduled, kNormal, kUser, kLate, kNoCount},
    // The limit is days before the local time: east of UTC a task is long overdue sooner.
    {"LongOverdueByLocalTimeEastOfUtc", idler(-3 * kDay + 1800), kScheduled, kNormal, kUser, kLate, kNoCount, 0, 0, 0,
     "JST-9"},
    {"NotYetLongOverdueWestOfUtc", idler(-3 * kDay - 1800), kScheduled, kNormal, kUser, kIdle, kNoCount, 0, 0, 0, "EST5"},
    {"LongOverdueFlagFourDaysLate", idler(-4 * kDay, kLongOverdue), kScheduled, kNormal, kUser, kIdle, kNoCount},
    {"LongOverdueFlagSixteenDaysLate", idler(-16 * kDay, kLongOverdue), kScheduled, kNormal, kUser, kLate, kNoCount},
    {"OtherTypeAsked", timed(-60), KS_TASK_CUSTOM, kNormal, kUser, kNotQueued, kNoCount},
    {"LogonFreq0", occasion(kLogon, 0, 0), kLogon, kNormal, kUser, kLate, 1},
    {"LogonFreq1", occasion(kLogon, 0, 1), kLogon, kNormal, kUser, kLate, 1},
    {"LogonFreq3FirstLogon", occasion(kLogon, 0, 3), kLogon, kNormal, kUser, kNotQueued, 1},
    {"LogonFreq3ThirdLogon", occasion(kLogon, 2, 3), kLogon, kNormal, kUser, kLate, 3},
    {"LogonNotCountedOnReboot", occasion(kLogon, 0, 0), kReboot, kNormal, kUser, kNotQueued, 0},
    {"RebootFreq0", occasion(kReboot, 0, 0), kReboot, kNormal, kUser, kBoot, 1},
    {"RebootFreq1", occasion(kReboot, 0, 1), kReboot, kNormal, kUser, kBoot, 1},
    {"RebootFreq3SecondReboot", occasion(kReboot, 1, 3), kReboot, kNormal, kUser, kNotQueued, 2},
    {"RebootFreq3ThirdReboot", occasion(kReboot, 2, 3), kReboot, kNormal, kUser, kBoot, 3},
    {"AdminFlagPlainUser", occasion(kLogon, 0, 0, kAdmin), kLogon, kNormal, kUser, kNotQueued, 1},
    {"AdminFlagFilteredAdmin", occasion(kLogon, 0, 0, kAdmin), kLogon, kNormal, Console::filteredAdmin, kLate, 1},
    {"AdminFlagAdmin", occasion(kLogon, 0, 0, kAdmin), kLogon, kNormal, Console::admin, kLate, 1},
    {"OobeHoldKeepsDueTaskOut", timed(-60), kScheduled, kNormal, kUser, kNotQueued, kNoCount, 600, 599},
    {"OobeHoldOverAtItsSecond", timed(-60), kScheduled, kNormal, kUser, kLate, kNoCount, 600, 600},
    {"OobeHoldCountsLogon", occasion(kLogon, 0, 1), kLogon, kNormal, kUser, kNotQueued, 1, 600, 10},
    {"OobeHoldCountsOnlyTheAskedType", occasion(kLogon, 0, 1), kReboot, kNormal, kUser, kNotQueued, 0, 600, 10},
    {"OutOfOobeQueuesCountedLogon", occasion(kLogon, 1, 1), kLogon, kNormal, kUser, kLate, 1, 600, 600, 1},
    {"OutOfOobeDoesNotCount", occasion(kLogon, 0, 1), kLogon, kNormal, kUser, kNotQueued, 0, 600, 600, 1},
    {"OutOfOobeCountedReboot", occasion(kReboot, 3, 3), kReboot, kNormal, kUser, kBoot, 3, 600, 700, 1},
};

class DueRulesQueue : public kstest::TaskManagerFixture {};

class DueRules : public kstest::TaskManagerFixture, public ::testing::WithParamInterface<DueCase> {};

TEST_P(DueRules, QueuesDueTasksOnly)
{
    const DueCase& c = GetParam();
    KsCalendarTest::PinnedZone zone(c.zone);
    storeTask(c.task);
    auto& manager = gather(false, c.console);
    if (c.oobeHold != 0) {
        m_clock.value = kNow - c.sinceStart;
        manager.InitTSStartTime();
        m_clock.value = kNow;
        manager.SetOobeModeState(1);
        manager.tasks().at(L"job")->m_dwOobeWait = c.oobeHold;
    }
    const bool am = c.run == Run::maintenance;
    manager._AddToQ(c.askedType, c.outOfOobe, am ? 1 : 0, am ? kWindow : 0);
    auto queued = drainQueue();
    if (c.priority == kNotQueued) {
        EXPECT_TRUE(queued.empty());
    } else {
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ(queued[0].second, c.priority);
    }
    if (c.storedCount != kNoCount) {
        EXPECT_EQ(kstest::storedNextRun(L"job"), c.storedCount);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DueRules, ::testing::ValuesIn(kDueCases),
                         [](const auto& info) { return std::string(info.param.label); });

// The queue builder's holds fall only on a due task: the same task due next week is not held.
struct BuilderHoldCase {
    const char* label;
    KsState::HoldReason hold;
    int64_t dueIn;
    KsState::HoldReason expected;
};

void PrintTo(const BuilderHoldCase& row, std::ostream* out)
{
    *out << row.label;
}

class BuilderHold : public kstest::TaskManagerFixture, public ::testing::WithParamInterface<BuilderHoldCase> {};

TEST_P(BuilderHold, FallsOnlyOnADueTask)
{
    using KsState::HoldReason;
    const BuilderHoldCase& row = GetParam();
    storeTask(timed(row.dueIn, row.hold == HoldReason::maintenanceExclusion ? kAmExclusion : 0));
    setString(kstest::kTasksKey, L"DisabledInRetailModeTasks", L"job");
    auto& manager = gather(row.hold == HoldReason::retailDemo);
    ASSERT_TRUE(manager.LoadRetailDisabledTasks());
    auto board = std::make_shared<KsState::EngineStateBoard>();
    manager.UseStateBoard(board);
    if (row.hold == HoldReason::outOfBox) {
        manager.InitTSStartTime();
        manager.SetOobeModeState(1);
        manager.tasks().at(L"job")->m_dwOobeWait = 600;
    }
    const bool am = row.hold == HoldReason::maintenanceExclusion;
    manager._AddToQ(KS_TASK_SCHEDULED, 0, am ? 1 : 0, am ? kWindow : 0);
    EXPECT_TRUE(drainQueue().empty());
    EXPECT_EQ(board->read(L"job").second.hold.reason, row.expected);
    // The engine wakes when the held task falls due, or when its hold ends.
    if (row.hold == KsState::HoldReason::outOfBox) {
        EXPECT_EQ(manager.FindMinNextRunTime(), std::min<int64_t>(kNow + 600, row.dueIn > 0 ? kNow + row.dueIn : kNow + 600));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Holds, BuilderHold,
    ::testing::Values(BuilderHoldCase{"RetailDemoDue", KsState::HoldReason::retailDemo, -60, KsState::HoldReason::retailDemo},
                      BuilderHoldCase{"RetailDemoNextWeek", KsState::HoldReason::retailDemo, 7 * kDay, {}},
                      BuilderHoldCase{"OutOfBoxDue", KsState::HoldReason::outOfBox, -60, KsState::HoldReason::outOfBox},
                      BuilderHoldCase{"OutOfBoxNextWeek", KsState::HoldReason::outOfBox, 7 * kDay, {}},
                      BuilderHoldCase{"OutOfBoxDueWithinTheHold", KsState::HoldReason::outOfBox, 60, {}},
                      BuilderHoldCase{"MaintenanceExclusionDue", KsState::HoldReason::maintenanceExclusion, -60,
                                      KsState::HoldReason::maintenanceExclusion},
                      BuilderHoldCase{"MaintenanceExclusionNextWeek", KsState::HoldReason::maintenanceExclusion,
                                      7 * kDay, {}}),
    [](const auto& info) { return std::string(info.param.label); });

// A logon or boot task deferred at its occasion ("LogonNextRun" written by the deferral) is queued
// again once the deferral's delay is over, and the timer wakes the engine for a retry ahead.
TEST_F(DueRulesQueue, DeferredOccasionTaskIsRetriedAfterItsDelay)
{
    const struct {
        const wchar_t* name;
        DWORD type;
        int64_t retryIn;  // 0: no deferral pending
    } tasks[] = {{L"logon-due", KS_TASK_LOGON, -10}, {L"boot-due", KS_TASK_REBOOT, -1},
                 {L"logon-ahead", KS_TASK_LOGON, 600}, {L"logon-plain", KS_TASK_LOGON, 0}};
    for (const auto& task : tasks) {
        TestTask logon = occasion(task.type, 0, 1);
        logon.name = task.name;
        storeTask(logon);
        if (task.retryIn != 0)
            kstest::setStoredDword(task.name, L"LogonNextRun", static_cast<DWORD>(kNow + task.retryIn));
    }
    auto& manager = gather();
    EXPECT_EQ(manager.AddDeferredOccasionsToQ(), 0u);
    auto queued = drainQueue();
    std::set<std::wstring> names;
    for (const auto& item : queued)
        names.insert(item.first);
    EXPECT_EQ(names, (std::set<std::wstring>{L"boot-due", L"logon-due"}));
    EXPECT_EQ(manager.FindMinNextRunTime(), kNow + 600);
}

TEST_F(DueRulesQueue, AskingTwiceLeavesOneItem)
{
    storeTask(timed(-60));
    auto& manager = gather();
    kstest::LogCapture capture;
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    EXPECT_EQ(manager.queue().size(), 1u);
    EXPECT_LOGGED(capture, 3, L"Adding task job to the Q with priority 90");
    EXPECT_LOGGED(capture, 1, L"Not adding task job to the execution Q as it already exists");
}

TEST(RunQueueOrder, ItemsLeaveByDescendingPriority)
{
    Keelwork::engine::RunQueue queue;
    const uint32_t priorities[] = {5, 90, 1, 100, 0, 0xFFFFFFF6u, 10, 9, 90, 3};
    for (uint32_t priority : priorities)
        queue.push(std::make_unique<Keelwork::engine::QueueItem>(Keelwork::engine::QueueItem{L"t", priority}));
    std::vector<uint32_t> order;
    while (auto item = queue.pop())
        order.push_back(item->priority);
    EXPECT_EQ(order, (std::vector<uint32_t>{0xFFFFFFF6u, 100, 90, 90, 10, 9, 5, 3, 1, 0}));
}

struct PriorityCase {
    const wchar_t* name;
    DWORD type;
    int32_t own;
    DWORD idle;
    bool longOverdue;
    uint32_t expected;
};

TEST(QueuePriority, Table)
{
    const PriorityCase cases[] = {
        {L"ksupdtsk", 3, -1, 0, false, 10},
        {L"ksupdtsk", 3, 0, 1, true, 90},
        {L"qsv_odsscheduledtask", 3, -1, 0, false, 0},
        {L"qsv_odsscheduledtask", 3, -1, 1, true, 90},
        {L"Ksupdtsk", 3, -1, 1, false, 1},
        {L"boot", 1, -1, 0, false, 100},
        {L"boot", 1, -1, 0, true, 100},
        {L"boot", 1, -1, 1, false, 9},
        {L"boot", 1, 0, 1, true, 90},
        {L"task", 2, -1, 1, false, 1},
        {L"task", 3, -1, 1, true, 90},
        {L"task", 5, -1, 0, false, 90},
        {L"task", 1, 7, 0, false, 7},
        {L"ksupdtsk", 3, 50, 1, true, 50},
        {L"task", 3, -5, 1, false, 0xFFFFFFFBu},
    };
    for (const PriorityCase& c : cases) {
        KSTASKINFO task{};
        task.dwTaskType = c.type;
        task.nPriority = c.own;
        task.dwRunWhenIdle = c.idle;
        EXPECT_EQ(Keelwork::engine::queuePriority(c.name, task, c.longOverdue), c.expected)
            << kstest::narrowForReport(c.name) << " type " << c.type << " own " << c.own;
    }
}

// The head task waits for an idle user when it asks to, or is the update or scan task, and only
// while "idle_wait" is on (1 when absent or not a number), read when asked; an empty queue has no
// head to wait.
struct IdleCase {
    const char* label;
    const wchar_t* name;
    DWORD runWhenIdle;
    std::optional<DWORD> idleWait;  // none: absent
    bool waits;
    bool asText = false;
};

void PrintTo(const IdleCase& c, std::ostream* os)
{
    *os << c.label;
}

class IdleWait : public kstest::TaskManagerFixture, public ::testing::WithParamInterface<IdleCase> {};

TEST_P(IdleWait, HeadTaskWaitsForAnIdleUserOnlyWhenItShould)
{
    const IdleCase& c = GetParam();
    storeTask({.name = c.name, .nextRun = kNow - 60, .runWhenIdle = c.runWhenIdle});
    auto& manager = gather();
    EXPECT_FALSE(manager.ShouldTopTaskWaitForIdle()) << "empty queue";
    if (c.idleWait && c.asText)
        setString(kstest::kTasksKey, L"idle_wait", std::to_wstring(*c.idleWait));
    else if (c.idleWait)
        setDword(kstest::kTasksKey, L"idle_wait", *c.idleWait);
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    EXPECT_EQ(manager.ShouldTopTaskWaitForIdle(), c.waits);
}

INSTANTIATE_TEST_SUITE_P(Heads, IdleWait,
                         ::testing::Values(IdleCase{"Plain", L"plain", 0, 1, false},
                                           IdleCase{"AsksForIdle", L"idler", 1, 1, true},
                                           IdleCase{"UpdateTask", L"ksupdtsk", 0, 1, true},
                                           IdleCase{"ScanTask", L"qsv_odsscheduledtask", 0, 1, true},
                                           IdleCase{"IdleWaitOff", L"idler", 1, 0, false},
                                           IdleCase{"IdleWaitAbsent", L"idler", 1, std::nullopt, true},
                                           IdleCase{"IdleWaitAsText", L"idler", 1, 0, true, true}),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
