// A run now through the real engine, asked over the bus and by kstask through the registry: both
// ways get the same reply and run the task at most once; the schedule it leaves is that of a run at
// that moment; a request left before the engine started never fires; a request repeated before the
// engine takes it is kept once.
#include "EngineLoopFixture.h"

#include "CalendarTestZone.h"
#include "KsTaskTool.h"

#include "engine/RunNowRequests.h"
#include "engine/RunningEngine.h"
#include "insight/InsightReplies.h"
#include "state/RunNowRequest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

using namespace kstest;

constexpr const wchar_t* kAsked = L"{\"name\":\"t\",\"status\":true}";

std::wstring busRunNow(const std::wstring& name)
{
    return KsInsight::runNowReply(L"{\"name\":\"" + name + L"\"}", Keelwork::engine::askRunningEngineToRunNow);
}

std::wstring launchAttempt(const std::wstring& name)
{
    return L"TaskScheduler.Task.LaunchAttempt." + name + L" {\"name\":\"" + name + L"\"}";
}

enum class Way { bus, kstask };
enum class Before { nothing, disabled, notDue, queuedBehindARun, running };

struct RunNowCase {
    const char* label;
    Before before;          // what the task "t" is when asked
    const wchar_t* reply;   // the bus's, and kstask's --json
    int exitCode;           // kstask's
    long launches;          // of "t", the one before the request included
};

class RunNowEngine : public EngineLoop {
protected:
    // The launches of `name` the engine reported before the sentinel, run now once every request
    // was taken and the queue is empty, completed.
    long launchesUntilSentinel(const wchar_t* name)
    {
        EXPECT_TRUE(awaitTrue([] {
            Keelwork::CRegKey requests;
            std::vector<Keelwork::RegValue> left;
            return requests.open(HKEY_LOCAL_MACHINE, KsState::kRunNowKeyPath, KEY_READ | KEY_WOW64_64KEY) !=
                       ERROR_SUCCESS ||
                   (requests.enumValues(left) == ERROR_SUCCESS && left.empty());
        })) << "the engine never took the requests";
        triggerAndPump();
        EXPECT_EQ(busRunNow(L"sentinel"), L"{\"name\":\"sentinel\",\"status\":true}");
        const std::vector<std::wstring> seen = messagesUntil(completed(L"sentinel"));
        EXPECT_FALSE(seen.empty() || seen.back() != completed(L"sentinel")) << "the sentinel did not run";
        return static_cast<long>(std::count(seen.begin(), seen.end(), launchAttempt(name)));
    }

    static void storeSentinel()
    {
        storeTask({.name = L"sentinel", .nextRun = Keelwork::Clock::current().now() + 86400});
    }
};

class RunNowWays : public RunNowEngine, public ::testing::WithParamInterface<std::tuple<RunNowCase, Way>> {
protected:
    // Stores "t" as the case has it, starts the engine and waits until "t" is in that state.
    void prepare(Before before, const GateTask& gate)
    {
        const uint32_t tomorrow = Keelwork::Clock::current().now() + 86400;
        storeSentinel();
        if (before == Before::disabled || before == Before::notDue)
            storeTask({.name = L"t", .nextRun = tomorrow});
        if (before == Before::disabled) {
            CKsTask task(L"t");
            ASSERT_TRUE(task.Read() && task.Disable());
        }
        if (before == Before::queuedBehindARun) {
            storeTask({.name = L"gate", .params = gate.params(), .priority = KS_PRIORITY_HIGHEST});
            storeTask({.name = L"t", .priority = KS_PRIORITY_LOWEST});
        }
        if (before == Before::running)
            storeTask({.name = L"t", .params = gate.params()});
        start();
        kick();
        if (before == Before::queuedBehindARun || before == Before::running) {
            ASSERT_TRUE(gate.runs());
        }
        if (before == Before::queuedBehindARun) {
            ASSERT_TRUE(awaitTrue([] { return taskState(L"t").queued; }));
        }
    }
};

TEST_P(RunNowWays, GetTheSameReplyAndRunTheTaskAtMostOnce)
{
    const auto& [row, way] = GetParam();
    GateTask gate;
    prepare(row.before, gate);
    if (way == Way::bus) {
        EXPECT_EQ(busRunNow(L"t"), row.reply);
    } else {
        const KsTaskTool::Outcome outcome =
            KsTaskTool::runTool({L"run", L"t", L"--json"}, Keelwork::Clock::current().now());
        EXPECT_EQ(outcome.out, std::wstring(row.reply) + L"\n");
        EXPECT_EQ(outcome.exitCode, row.exitCode);
    }
    gate.release();
    EXPECT_EQ(launchesUntilSentinel(L"t"), row.launches);
}

const RunNowCase kRunNowCases[] = {
    {"unknown", Before::nothing, L"{\"name\":\"t\",\"status\":false,\"error\":\"No task of that name is stored.\"}", 1,
     0},
    {"disabled", Before::disabled,
     L"{\"name\":\"t\",\"status\":false,\"error\":\"The task is disabled; enable it before asking it to run.\"}", 1, 0},
    {"plain", Before::notDue, kAsked, 0, 1},
    {"queued", Before::queuedBehindARun, kAsked, 0, 1},
    // Asked while its program runs: that run answers the request.
    {"running", Before::running, kAsked, 0, 1},
};

INSTANTIATE_TEST_SUITE_P(Rows, RunNowWays,
                         ::testing::Combine(::testing::ValuesIn(kRunNowCases), ::testing::Values(Way::bus, Way::kstask)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) == Way::bus ? "OverTheBus" : "ByKstask");
                         });

// "Nightly" (every day at 03:30) run now at 20:03 keeps tonight's run; a periodic task's next run
// is the moment plus its period.
TEST_F(EngineLoop, RunNowLeavesTheScheduleOfARunAtThatMoment)
{
    KsCalendarTest::PinnedZone zone("JST-9");
    const uint32_t moment = static_cast<uint32_t>(KsCalendarTest::utcOfCivil(2026, 12, 6, 20, 3) - 9 * 3600);
    const uint32_t tonight = static_cast<uint32_t>(KsCalendarTest::utcOfCivil(2026, 12, 7, 3, 30) - 9 * 3600);
    TestClock clock(moment);
    storeTask({.name = L"nightly", .type = KS_TASK_CUSTOM, .nextRun = 0, .freq = 86400, .dayOfWeekMask = 0x7F,
               .hour = 3, .minute = 30});
    storeTask({.name = L"hourly", .nextRun = moment + 86400, .freq = 3600});
    ASSERT_EQ(storedNextRun(L"nightly"), tonight);
    start();
    kick();
    EXPECT_EQ(busRunNow(L"nightly"), L"{\"name\":\"nightly\",\"status\":true}");
    EXPECT_EQ(busRunNow(L"hourly"), L"{\"name\":\"hourly\",\"status\":true}");
    EXPECT_EQ(awaitMessages({completed(L"nightly"), completed(L"hourly")}), std::set<std::wstring>{});
    EXPECT_EQ(storedNextRun(L"nightly"), tonight);
    EXPECT_EQ(storedNextRun(L"hourly"), moment + 3600);
}

// A task stored a moment before the request, whose new-task event the engine has not served yet,
// still runs: the request is judged against the store it was checked against, not a stale list.
TEST_F(RunNowEngine, ATaskStoredJustBeforeTheRequestRuns)
{
    storeSentinel();
    start();
    kick();
    storeTask({.name = L"new", .nextRun = Keelwork::Clock::current().now() + 86400});  // no new-task event
    EXPECT_EQ(busRunNow(L"new"), L"{\"name\":\"new\",\"status\":true}");
    EXPECT_EQ(launchesUntilSentinel(L"new"), 1);
}

// A request an older engine's non-volatile key still holds (written as the engine stopped) is gone
// with the key, which the engine makes afresh, volatile; the next request runs only its own task.
TEST_F(RunNowEngine, ARunNowRequestLeftBeforeTheStartNeverFires)
{
    const uint32_t tomorrow = Keelwork::Clock::current().now() + 86400;
    storeTask({.name = L"stale", .nextRun = tomorrow});
    storeTask({.name = L"fresh", .nextRun = tomorrow});
    storeSentinel();
    {
        Keelwork::CRegKey key;
        ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, KsState::kRunNowKeyPath, KEY_ALL_ACCESS | KEY_WOW64_64KEY),
                  ERROR_SUCCESS);
        ASSERT_EQ(key.setQwordValue(L"stale", KsState::runNowStampNow()), ERROR_SUCCESS);
    }
    start();
    kick();
    const KsTaskTool::Outcome outcome = KsTaskTool::runTool({L"run", L"fresh"}, Keelwork::Clock::current().now());
    EXPECT_EQ(outcome.out, L"Asked the engine to run fresh now.\n");
    EXPECT_EQ(launchesUntilSentinel(L"stale"), 0);
    Keelwork::CRegKey probe;
    EXPECT_EQ(probe.create(HKEY_LOCAL_MACHINE, (std::wstring(KsState::kRunNowKeyPath) + L"\\probe").c_str(),
                           KEY_ALL_ACCESS | KEY_WOW64_64KEY),
              LONG{ERROR_CHILD_MUST_BE_VOLATILE})
        << "the request key is not volatile";
}

} // namespace

namespace {

// Requests kept for the next queue build, however often each is repeated meanwhile (a suspended
// engine builds none): one entry per task, in the order first asked.
struct KeptRequestsRow {
    std::vector<std::wstring> asked;
    std::vector<std::wstring> kept;
};

TEST(RunNowRequests, KeepOneEntryPerTaskUntilTaken)
{
    const KeptRequestsRow rows[] = {
        {{L"a", L"a", L"a"}, {L"a"}},
        {{L"a", L"b", L"a", L"b", L"c"}, {L"a", L"b", L"c"}},
        {{}, {}},
    };
    Keelwork::engine::RunNowRequests requests;
    for (const KeptRequestsRow& row : rows) {
        std::vector<std::wstring> added;
        for (const std::wstring& name : row.asked)
            if (requests.ask(name))
                added.push_back(name);
        EXPECT_EQ(added, row.kept);
        EXPECT_EQ(requests.take(), row.kept);  // taken, a name is asked afresh by the next row
    }
}

} // namespace
