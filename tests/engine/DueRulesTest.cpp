// Which tasks the queue builder queues, with which priority, and in which order they leave.
#include "TaskManagerFixture.h"

#include "EngineRegistry.h"
#include "CalendarTestZone.h"
#include "ExpectLogged.h"
#include "engine/QueuePriority.h"
#include "engine/RunQueue.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using kstest::Console;
using kstest::kNow;
using kstest::TaskSpec;

constexpr DWORD kDay = 86400;
constexpr DWORD kWindow = 43200;
constexpr uint32_t kNotQueued = 0xFFFFFFFF;
constexpr DWORD kNoCount = 0xFFFFFFFF;

struct DueCase {
    const char* label;
    TaskSpec task;
    DWORD requestedType;
    DWORD amMode;
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

// Timed-task specs: next run relative to now, flags, idle wish.
TaskSpec timed(int64_t offset, DWORD flags = 0, DWORD idle = 0)
{
    return TaskSpec{KS_TASK_SCHEDULED, static_cast<DWORD>(kNow + offset), 0, flags, idle};
}
TaskSpec occasion(DWORD type, DWORD count, DWORD freq, DWORD flags = 0)
{
    return TaskSpec{type, count, freq, flags};
}

const DueCase kDueCases[] = {
    {"OverdueTimed", timed(-60), 3, 0, Console::user, 90, kNoCount},
    {"FutureTimed", timed(60), 3, 0, Console::user, kNotQueued, kNoCount},
    {"EqualSecondIsDue", timed(0), 3, 0, Console::user, 90, kNoCount},
    {"AmWindowTakesTaskDueIn11Hours", timed(11 * 3600), 3, 1, Console::user, 90, kNoCount},
    {"AmWindowEndsAt12Hours", timed(12 * 3600 + 1), 3, 1, Console::user, kNotQueued, kNoCount},
    {"AmFutureExclusionFlag16", timed(11 * 3600, 16), 3, 1, Console::user, kNotQueued, kNoCount},
    {"AmFutureExclusionStillRunsOverdue", timed(-60, 16), 3, 1, Console::user, 90, kNoCount},
    {"AmExclusionFlag8EvenOverdue", timed(-60, 8), 3, 1, Console::user, kNotQueued, kNoCount},
    {"Flag8OutsideAmMode", timed(-60, 8), 3, 0, Console::user, 90, kNoCount},
    {"IdleTaskTwoDaysLate", timed(-2 * int64_t{kDay}, 0, 1), 3, 0, Console::user, 1, kNoCount},
    {"IdleTaskFourDaysLateIsLongOverdue", timed(-4 * int64_t{kDay}, 0, 1), 3, 0, Console::user, 90, kNoCount},
    // The limit is days before the local time: east of UTC a task is long overdue sooner.
    {"LongOverdueByLocalTimeEastOfUtc", timed(-3 * int64_t{kDay} + 1800, 0, 1), 3, 0, Console::user, 90, kNoCount, 0, 0, 0, "JST-9"},
    {"NotYetLongOverdueWestOfUtc", timed(-3 * int64_t{kDay} - 1800, 0, 1), 3, 0, Console::user, 1, kNoCount, 0, 0, 0, "EST5"},
    {"Flag32FourDaysLate", timed(-4 * int64_t{kDay}, 32, 1), 3, 0, Console::user, 1, kNoCount},
    {"Flag32SixteenDaysLate", timed(-16 * int64_t{kDay}, 32, 1), 3, 0, Console::user, 90, kNoCount},
    {"OtherTypeAsked", timed(-60), 5, 0, Console::user, kNotQueued, kNoCount},
    {"LogonFreq0", occasion(2, 0, 0), 2, 0, Console::user, 90, 1},
    {"LogonFreq1", occasion(2, 0, 1), 2, 0, Console::user, 90, 1},
    {"LogonFreq3FirstLogon", occasion(2, 0, 3), 2, 0, Console::user, kNotQueued, 1},
    {"LogonFreq3ThirdLogon", occasion(2, 2, 3), 2, 0, Console::user, 90, 3},
    {"LogonNotCountedOnReboot", occasion(2, 0, 0), 1, 0, Console::user, kNotQueued, 0},
    {"RebootFreq0", occasion(1, 0, 0), 1, 0, Console::user, 100, 1},
    {"RebootFreq1", occasion(1, 0, 1), 1, 0, Console::user, 100, 1},
    {"RebootFreq3SecondReboot", occasion(1, 1, 3), 1, 0, Console::user, kNotQueued, 2},
    {"RebootFreq3ThirdReboot", occasion(1, 2, 3), 1, 0, Console::user, 100, 3},
    {"AdminFlagPlainUser", occasion(2, 0, 0, 4), 2, 0, Console::user, kNotQueued, 1},
    {"AdminFlagFilteredAdmin", occasion(2, 0, 0, 4), 2, 0, Console::filteredAdmin, 90, 1},
    {"AdminFlagAdmin", occasion(2, 0, 0, 4), 2, 0, Console::admin, 90, 1},
    {"OobeHoldKeepsDueTaskOut", timed(-60), 3, 0, Console::user, kNotQueued, kNoCount, 600, 599},
    {"OobeHoldOverAtItsSecond", timed(-60), 3, 0, Console::user, 90, kNoCount, 600, 600},
    {"OobeHoldCountsLogon", occasion(2, 0, 1), 2, 0, Console::user, kNotQueued, 1, 600, 10},
    {"OobeHoldCountsOnlyTheAskedType", occasion(2, 0, 1), 1, 0, Console::user, kNotQueued, 0, 600, 10},
    {"OutOfOobeQueuesCountedLogon", occasion(2, 1, 1), 2, 0, Console::user, 90, 1, 600, 600, 1},
    {"OutOfOobeDoesNotCount", occasion(2, 0, 1), 2, 0, Console::user, kNotQueued, 0, 600, 600, 1},
    {"OutOfOobeCountedReboot", occasion(1, 3, 3), 1, 0, Console::user, 100, 3, 600, 700, 1},
};

class DueRulesQueue : public kstest::TaskManagerFixture {};

class DueRules : public kstest::TaskManagerFixture, public ::testing::WithParamInterface<DueCase> {};

TEST_P(DueRules, QueuesDueTasksOnly)
{
    const DueCase& c = GetParam();
    KsCalendarTest::PinnedZone zone(c.zone);
    writeTask(L"task", c.task);
    auto& manager = gather(false, c.console);
    if (c.oobeHold != 0) {
        m_clock.value = kNow - c.sinceStart;
        manager.InitTSStartTime();
        m_clock.value = kNow;
        manager.SetOobeModeState(1);
        manager.tasks().at(L"task")->m_dwOobeWait = c.oobeHold;
    }
    manager._AddToQ(c.requestedType, c.outOfOobe, c.amMode, c.amMode ? kWindow : 0);
    auto queued = drainQueue();
    if (c.priority == kNotQueued) {
        EXPECT_TRUE(queued.empty());
    } else {
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ(queued[0].second, c.priority);
    }
    if (c.storedCount != kNoCount) {
        CKsTask stored(L"task");
        ASSERT_TRUE(stored.Read());
        EXPECT_EQ(stored.dwNextRun, c.storedCount);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DueRules, ::testing::ValuesIn(kDueCases),
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
        writeTask(task.name, occasion(task.type, 0, 1));
        if (task.retryIn != 0)
            setProtectedDword(task.name, L"LogonNextRun", static_cast<DWORD>(kNow + task.retryIn));
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
    writeTask(L"task", timed(-60));
    auto& manager = gather();
    kstest::LogCapture capture;
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    EXPECT_EQ(manager.queue().size(), 1u);
    EXPECT_LOGGED(capture, 3, L"Adding task task to the Q with priority 90");
    EXPECT_LOGGED(capture, 1, L"Not adding task task to the execution Q as it already exists");
}

TEST_F(DueRulesQueue, RebootTaskLeadsEverythingAtDefaultPriority)
{
    writeTask(L"ksupdtsk", timed(-60));
    writeTask(L"plain", timed(-60));
    writeTask(L"idle", timed(-60, 0, 1));
    writeTask(L"scan", timed(-60, 0, 1));
    writeTask(L"start", occasion(KS_TASK_REBOOT, 0, 0));
    auto& manager = gather();
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    manager._AddToQ(KS_TASK_REBOOT, 0, 0, 0);
    auto queued = drainQueue();
    ASSERT_EQ(queued.size(), 5u);
    EXPECT_EQ(queued[0], std::make_pair(std::wstring(L"start"), 100u));
    EXPECT_EQ(queued[1], std::make_pair(std::wstring(L"plain"), 90u));
    EXPECT_EQ(queued[2], std::make_pair(std::wstring(L"ksupdtsk"), 10u));
    EXPECT_EQ(queued[3].second, 1u);
    EXPECT_EQ(queued[4].second, 1u);
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
// while "idle_wait" is on; an empty queue has no head to wait.
struct IdleCase {
    const char* label;
    const wchar_t* name;
    DWORD runWhenIdle;
    DWORD idleWait;
    bool waits;
};

void PrintTo(const IdleCase& c, std::ostream* os)
{
    *os << c.label;
}

class IdleWait : public kstest::TaskManagerFixture, public ::testing::WithParamInterface<IdleCase> {};

TEST_P(IdleWait, HeadTaskWaitsForAnIdleUserOnlyWhenItShould)
{
    const IdleCase& c = GetParam();
    setDword(kstest::kTasksKey, L"idle_wait", c.idleWait);
    auto& manager = gather();
    EXPECT_FALSE(manager.ShouldTopTaskWaitForIdle()) << "empty queue";
    writeTask(c.name, timed(-60, 0, c.runWhenIdle));
    manager.Refresh();
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    EXPECT_EQ(manager.ShouldTopTaskWaitForIdle(), c.waits);
}

INSTANTIATE_TEST_SUITE_P(Heads, IdleWait,
                         ::testing::Values(IdleCase{"Plain", L"plain", 0, 1, false},
                                           IdleCase{"AsksForIdle", L"idler", 1, 1, true},
                                           IdleCase{"UpdateTask", L"ksupdtsk", 0, 1, true},
                                           IdleCase{"ScanTask", L"qsv_odsscheduledtask", 0, 1, true},
                                           IdleCase{"IdleWaitOff", L"idler", 1, 0, false}),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
