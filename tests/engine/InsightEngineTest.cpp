// The answers to Explain and History over the running engine's own board: each verdict brought
// about by its real cause through the real engine, read from the test's thread.
#include "EngineLoopFixture.h"

#include "TestClock.h"

#include "engine/DueNowDecision.h"
#include "engine/RunningEngine.h"
#include "insight/InsightReplies.h"
#include "message/JSONFormatter.h"
#include "platform/AssumedProbeServices.h"
#include "platform/SystemProbeServices.h"
#include "state/RunNowRequest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <initializer_list>

namespace {

using namespace kstest;

// A member of a reply along a path of member names (or array positions), as text.
std::wstring at(const std::wstring& reply, std::initializer_list<const wchar_t*> path)
{
    Tessel::JSONFormatter json;
    if (!json.parse(reply))
        return L"<not JSON>";
    const Tessel::JSONFormatter::Value* value = &json.root();
    for (const wchar_t* key : path) {
        if (value->IsArray() && static_cast<unsigned>(std::wcstoul(key, nullptr, 10)) < value->Size()) {
            value = &(*value)[static_cast<unsigned>(std::wcstoul(key, nullptr, 10))];
            continue;
        }
        if (!value->IsObject() || !value->HasMember(key))
            return L"<absent>";
        value = &(*value)[key];
    }
    if (value->IsString())
        return value->GetString();
    return value->IsUint() ? std::to_wstring(value->GetUint()) : L"<other>";
}

class InsightOverEngine : public EngineLoop {
protected:
    std::wstring explain(const wchar_t* name, uint32_t now = Keelwork::Clock::current().now()) const
    {
        return KsInsight::explainReply(L"{\"name\":\"" + std::wstring(name) + L"\"}", m_board, now);
    }
    // Asks again (bounded) until `ready` holds: the board and the history are told after the reports.
    static std::wstring awaitReply(const std::function<std::wstring()>& ask,
                                   const std::function<bool(const std::wstring&)>& ready)
    {
        std::wstring reply;
        awaitTrue([&] { return ready(reply = ask()); });
        return reply;
    }

    KsInsight::BoardStateSource m_board;
};

TEST_F(InsightOverEngine, AFullScreenApplicationHoldsADueTask)
{
    TestClock clock;
    const uint32_t t0 = clock.value;
    storeTask({.name = L"held", .nextRun = t0 - 5});
    answerFullScreen(true);
    start();
    kick();
    triggerAndPump();
    const std::wstring reply = explain(L"held", t0);
    EXPECT_EQ(at(reply, {L"verdict"}), L"held") << reply;
    EXPECT_EQ(at(reply, {L"hold", L"reason"}), L"full screen");
    EXPECT_EQ(at(reply, {L"hold", L"since"}), std::to_wstring(t0));
    EXPECT_EQ(at(reply, {L"hold", L"until"}), std::to_wstring(t0 + 21600));

    // Asked to run now, it meets the same hold: still held, nothing launched, its schedule kept.
    LogCapture log;
    ASSERT_EQ(Keelwork::engine::askRunningEngineToRunNow(L"held"), KsState::RunNowOutcome::asked);
    ASSERT_TRUE(awaitLogged(log, L"Task held is asked to run now"));
    ASSERT_TRUE(awaitLogged(log, L"Reason: Full-screen WaitTimeout"));
    EXPECT_EQ(at(explain(L"held", t0), {L"verdict"}), L"held");
    EXPECT_EQ(storedNextRun(L"held"), t0 - 5);
    EXPECT_FALSE(m_inbox.take(std::chrono::milliseconds(0))) << "nothing was launched";

    // A stopped engine holds nothing.
    stop();
    const std::wstring stopped = explain(L"held", t0);
    EXPECT_EQ(at(stopped, {L"engine", L"phase"}), L"stopped") << stopped;
    EXPECT_EQ(at(stopped, {L"hold"}), L"<absent>");
}

// What a launch would decide now, from the probes as they answer or as the request assumes them.
struct IfDueNowCase {
    const char* label;
    kstest::TestTask task;
    KsPlatform::ProbeAssumptions assume;
    std::optional<Keelwork::engine::DueNowAnswer> expected;  // none: it would run
};

void PrintTo(const IfDueNowCase& row, std::ostream* out)
{
    *out << row.label;
}

class IfDueNow : public InsightOverEngine, public ::testing::WithParamInterface<IfDueNowCase> {};

TEST_P(IfDueNow, TellsWhatALaunchWouldDecide)
{
    const IfDueNowCase& row = GetParam();
    storeTask(row.task);
    KsPlatform::SystemProbeServices system;
    KsPlatform::AssumedProbeServices assumed(system, row.assume);
    const auto answer = Keelwork::engine::decideIfDueNow(row.task.name, assumed.services(), {});
    ASSERT_TRUE(answer);
    const Keelwork::engine::DueNowAnswer expected = row.expected.value_or(Keelwork::engine::DueNowAnswer{});
    EXPECT_EQ(std::make_tuple(answer->run, answer->reason, answer->code, answer->delay),
              std::make_tuple(expected.run, expected.reason, expected.code, expected.delay));
    EXPECT_FALSE(Keelwork::engine::decideIfDueNow(L"absent", assumed.services(), {}));
}

using Keelwork::engine::DueNowAnswer;
INSTANTIATE_TEST_SUITE_P(
    Probes, IfDueNow,
    ::testing::Values(
        IfDueNowCase{"AsTheMachineIs", {}, {}, std::nullopt},
        IfDueNowCase{"OnBattery", {.batteryWise = 1}, {.battery = true}, DueNowAnswer{false, L"battery", 0u, 3600}},
        IfDueNowCase{"OnMains", {.batteryWise = 1}, {.battery = false}, std::nullopt},
        IfDueNowCase{"Metered", {.wise = KS_METERED_ACCESS_WISE}, {.metered = true},
                     DueNowAnswer{false, L"metered", 2u, 3600}},
        IfDueNowCase{"FullScreen", {}, {.fullScreen = true}, DueNowAnswer{false, L"full screen", std::nullopt, 600}},
        IfDueNowCase{"ConnectedStandby", {}, {.connectedStandby = true},
                     DueNowAnswer{false, L"connected standby", std::nullopt, 0}},
        IfDueNowCase{"UserBusy", {.runWhenIdle = 1}, {.userIdle = false},
                     DueNowAnswer{false, L"idle", std::nullopt, 600}},
        IfDueNowCase{"UserIdle", {.runWhenIdle = 1}, {.userIdle = true}, std::nullopt},
        IfDueNowCase{"Untrusted", {.trigger = L"C:\\windows\\notepad.exe"}, {},
                     DueNowAnswer{false, L"validation", 10u, 3600}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(InsightOverEngine, APendingRestartSuspendsTheEngine)
{
    setDword(L"SOFTWARE\\Kestrel\\Volatile\\ZARN", L"IsRestartPending", 1);
    storeTask({.name = L"due"});
    start();
    kick();
    const std::wstring reply =
        awaitReply([&] { return explain(L"due"); }, [](const std::wstring& r) { return at(r, {L"verdict"}) == L"suspended"; });
    EXPECT_EQ(at(reply, {L"verdict"}), L"suspended") << reply;
    EXPECT_EQ(at(reply, {L"engine", L"reason"}), L"restart pending");
}

// An exit code, a refused program (and its history), a disabled task and a logon task counting.
TEST_F(InsightOverEngine, LaunchesRefusalsDisabledTasksAndOccasionsAreExplained)
{
    storeTask({.name = L"exits7", .params = L"--exit 7"});
    storeTask({.name = L"refused", .trigger = testProgramFolder() + L"\\no-such-program.exe", .params = L""});
    storeTask({.name = L"off"});
    {
        CKsTask task(L"off");
        ASSERT_TRUE(task.Read() && task.Disable());
    }
    storeTask({.name = L"logon", .type = KS_TASK_LOGON, .nextRun = 0, .freq = 3});
    start();
    EXPECT_EQ(awaitMessages({L"TaskScheduler.Task.Completed.exits7 {\"name\":\"exits7\"}",
                             L"TaskScheduler.Task.LaunchAttempt.refused {\"name\":\"refused\"}"}),
              std::set<std::wstring>{});
    send(Keelwork::engine::kLogonMessage);

    const std::wstring ran = awaitReply([&] { return explain(L"exits7"); },
                                        [](const std::wstring& r) { return at(r, {L"lastLaunch", L"exitCode"}) == L"7"; });
    EXPECT_EQ(at(ran, {L"lastLaunch", L"exitCode"}), L"7") << ran;
    EXPECT_EQ(at(ran, {L"verdict"}), L"waiting");
    const std::wstring refused = awaitReply([&] { return explain(L"refused"); },
                                            [](const std::wstring& r) { return at(r, {L"verdict"}) == L"deferred"; });
    EXPECT_EQ(at(refused, {L"verdict"}), L"deferred") << refused;
    EXPECT_EQ(at(refused, {L"lastDeferral", L"code"}), L"10");
    EXPECT_EQ(at(refused, {L"lastDeferral", L"reason"}), L"validation");
    const std::wstring history = awaitReply([] { return KsInsight::historyReply(std::wstring(L"{\"name\":\"refused\"}")); },
                                            [](const std::wstring& r) { return at(r, {L"entries", L"0"}) != L"<absent>"; });
    EXPECT_EQ(at(history, {L"entries", L"0", L"event"}), L"refused") << history;
    EXPECT_EQ(at(explain(L"off"), {L"verdict"}), L"disabled");
    const std::wstring logon = explain(L"logon");
    EXPECT_EQ(at(logon, {L"verdict"}), L"occasion") << logon;
    EXPECT_EQ(at(logon, {L"occasion", L"every"}), L"3");
    EXPECT_EQ(at(logon, {L"occasion", L"seen"}), L"1");
}

} // namespace
