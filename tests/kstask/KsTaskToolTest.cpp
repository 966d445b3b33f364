// kstask's commands against what the real engine wrote in this process: tasks stored through the
// store, launches run by the engine (an exit code, a refused program, a logon counted), their
// histories, and the state key the engine mirrors its board into. The same answers as JSON equal
// the bus replies built from the engine's own board. Then the built program, as a child process,
// for its console output and exit codes.
#include "EngineLoopFixture.h"
#include "TestClock.h"
#include "HostRun.h"
#include "ThreadLocale.h"

#include "KsTaskTool.h"

#include "common/TimeText.h"
#include "insight/InsightReplies.h"
#include "state/MirroredState.h"
#include "state/RunNowRequest.h"
#include "state/StateKey.h"
#include "store/TaskHistory.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <sstream>

namespace {

using namespace kstest;
using KsTaskTool::runTool;

std::wstring T(uint32_t time) { return Keelwork::localTimeText(time); }

// The output's lines with each run of two or more spaces (a column gap) shown as " | ".
std::vector<std::wstring> cells(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::wistringstream stream(text);
    for (std::wstring line; std::getline(stream, line);)
        lines.push_back(std::regex_replace(line, std::wregex(L" {2,}"), L" | "));
    return lines;
}

class KsTaskOverEngine : public EngineLoop {
protected:
    // Bounded: the engine mirrors its board at the end of the loop step that changed it.
    static bool awaitMirror(const std::function<bool(const KsState::MirroredState&)>& ready)
    {
        for (DWORD waited = 0; waited < kBoundMs; waited += 50) {
            KsState::MirroredState state;
            if (KsState::readMirroredState(state) == ERROR_SUCCESS && ready(state))
                return true;
            ::Sleep(50);
        }
        return false;
    }

    static void storeWeekly(const wchar_t* name)
    {
        storeTask({.name = name, .type = KS_TASK_CUSTOM, .nextRun = 0, .freq = 0});
        CKsTask task(name);
        ASSERT_TRUE(task.Read());
        task.dwInterval = KS_INTERVAL_WEEKLY;
        task.dwDayOfWeekMask = 0x22;  // Monday and Friday
        task.dwHour = 3;
        task.dwMinute = 30;
        ASSERT_TRUE(task.Write());  // which places the first run by the rule
    }
};

struct Row {
    std::vector<std::wstring> args;
    int exitCode;
    bool onError;                     // the lines are standard error's, else standard output's
    std::vector<std::wstring> lines;  // each a prefix of its output line, column gaps as " | "
};

TEST_F(KsTaskOverEngine, CommandsTellWhatTheEngineDid)
{
    TestClock clock;
    const uint32_t t0 = clock.value;
    storeTask({.name = L"exits7", .params = L"--exit 7", .nextRun = t0 - 5});
    storeTask({.name = L"refused", .trigger = testProgramFolder() + L"\\no-such-program.exe", .params = L"", .nextRun = t0 - 5});
    storeWeekly(L"weekly");
    storeTask({.name = L"logon3", .type = KS_TASK_LOGON, .nextRun = 0, .freq = 3});
    storeTask({.name = L"off", .nextRun = t0 + 60});
    {
        CKsTask task(L"logon3");
        ASSERT_TRUE(task.Read());
        task.dwMaxRunTime = 60;
        task.dwBackground = 1;
        ASSERT_TRUE(task.Write());
    }
    {
        CKsTask task(L"off");
        ASSERT_TRUE(task.Read() && task.Disable());
    }
    start();
    kick();
    triggerAndPump();
    ASSERT_TRUE(awaitMirror([](const KsState::MirroredState& s) {
        return s.tasks.count(L"exits7") && s.tasks.at(L"exits7").lastLaunch && s.tasks.count(L"refused") &&
               s.tasks.at(L"refused").lastDeferral && !s.tasks.at(L"exits7").queued;
    })) << "the engine's state key never told both outcomes";
    const uint32_t weekly = storedNextRun(L"weekly");
    const std::wstring hour = T(t0 + 3600);

    const std::wstring listHeader = L"NAME | TRIGGER | NEXT RUN | VERDICT | LAST RESULT";
    const std::vector<std::wstring> listed = {
        listHeader,
        L"exits7 | every 3600 s | " + hour + L" | waiting | exit 7",
        L"refused | every 3600 s | " + hour + L" | deferred | refused: validation",
        L"weekly | weekly Mon,Fri 03:30 | " + T(weekly) + L" | waiting | -",
        L"logon3 | logon every 3 | - | occasion | -"};
    std::vector<std::wstring> listedAll = listed;
    listedAll.push_back(L"off | every 3600 s | - | disabled | -");
    const std::vector<std::wstring> weeklyRuns = {T(weekly), T(weekly + 4 * 86400)};  // Monday, then Friday

    const Row rows[] = {
        {{L"list"}, 0, false, listed},
        {{L"list", L"--all"}, 0, false, listedAll},
        {{L"explain", L"exits7"}, 0, false,
         {L"Task | exits7", L"Verdict | waiting", L"Why | Its next run is at ", L"Next run | " + hour,
          L"Last launch | " + T(t0) + L", result 0, exit code 7, ", L"Engine | running since "}},
        {{L"explain", L"refused"}, 0, false,
         {L"Task | refused", L"Verdict | deferred", L"Why | Deferred at ", L"Next run | " + hour,
          L"Last deferral | " + T(t0) + L", validation (code 10), looked at again after ", L"Engine | running"}},
        {{L"explain", L"LOGON3"}, 0, false,
         {L"Task | LOGON3", L"Verdict | occasion", L"Why | It runs at every 3rd logon",
          L"Occasion | every 3 logons, 1 seen since it last ran", L"Lane | ended after 60 s, background",
          L"Engine | running"}},
        {{L"history", L"exits7"}, 0, false,
         {L"TIME | EVENT | DETAIL", T(t0) + L" | launched | result 0, exit code 7, "}},
        {{L"history", L"refused", L"-n", L"1"}, 0, false,
         {L"TIME | EVENT | DETAIL", T(t0) + L" | refused | validation (code 10)"}},
        {{L"history", L"weekly"}, 0, false, {L"No launch outcome is recorded for weekly."}},
        {{L"preview", L"weekly", L"-n", L"2"}, 0, false, weeklyRuns},
        {{L"preview", L"--weekly", L"mon,Fri", L"3:30", L"-n", L"2"}, 0, false, weeklyRuns},
        {{L"preview", L"--every", L"60", L"-n", L"2"}, 0, false, {T(t0 + 60), T(t0 + 120)}},
        {{L"preview", L"logon3"}, 0, false, {L"No timed runs: it runs at every 3 logons, 1 seen since it last ran."}},
        {{L"run", L"exits7"}, 0, false, {L"Asked the engine to run exits7 now."}},
        {{L"explain", L"nosuch"}, 1, true, {L"nosuch: No task of that name is stored."}},
        {{L"history", L"nosuch"}, 1, true, {L"nosuch: No task of that name is stored."}},
        {{L"preview", L"nosuch"}, 1, true, {L"nosuch: No task of that name is stored."}},
        {{L"run", L"nosuch"}, 1, true, {L"nosuch: No task of that name is stored."}},
    };
    for (const Row& row : rows) {
        const KsTaskTool::Outcome outcome = runTool(row.args, t0);
        const std::wstring command = row.args[0] + L" " + (row.args.size() > 1 ? row.args[1] : L"");
        SCOPED_TRACE(std::string(command.begin(), command.end()));
        EXPECT_EQ(outcome.exitCode, row.exitCode) << std::wstring(outcome.out + outcome.err).c_str();
        const std::vector<std::wstring> got = cells(row.onError ? outcome.err : outcome.out);
        ASSERT_EQ(got.size(), row.lines.size()) << std::wstring(outcome.out + outcome.err).c_str();
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i].substr(0, row.lines[i].size()), row.lines[i]);
    }
    // The engine takes the request and runs the task again: its first run's report, then this one's.
    const std::set<std::wstring> completed = {L"TaskScheduler.Task.Completed.exits7 {\"name\":\"exits7\"}"};
    EXPECT_EQ(awaitMessages(completed), std::set<std::wstring>{});
    EXPECT_EQ(awaitMessages(completed), std::set<std::wstring>{}) << "the asked-for run did not come";
    ASSERT_TRUE(awaitTrue([] { return KsStore::TaskHistory::read(L"exits7").entries.size() == 2; }));

    // The columns line up under the header.
    const std::wstring list = runTool({L"list"}, t0).out;
    const std::wstring header = list.substr(0, list.find(L'\n'));
    EXPECT_EQ(list.find(L"every 3600 s") - list.find(L"exits7"), header.find(L"TRIGGER")) << list.c_str();

    // --json gives the bus replies built from the engine's own board, through the state key.
    KsInsight::BoardStateSource board;
    EXPECT_EQ(runTool({L"explain", L"refused", L"--json"}, t0).out,
              KsInsight::explainReply(L"{\"name\":\"refused\"}", board, t0) + L"\n");
    EXPECT_EQ(runTool({L"--json", L"history", L"exits7"}, t0).out,
              KsInsight::historyReply(std::wstring(L"{\"name\":\"exits7\"}")) + L"\n");
    EXPECT_EQ(runTool({L"preview", L"--daily", L"03:30", L"--json", L"-n", L"3"}, t0).out,
              KsInsight::previewReply(
                  L"{\"interval\":\"none\",\"daysOfWeek\":\"1234567\",\"hour\":\"3\",\"minute\":\"30\",\"count\":3}", t0) +
                  L"\n");
    EXPECT_EQ(runTool({L"list", L"--json"}, t0).out.substr(0, 46),
              L"[{\"name\":\"exits7\",\"trigger\":\"every 3600 s\",\"ne");

    // Without an engine listening the request is not left.
    stop();
    const KsTaskTool::Outcome alone = runTool({L"run", L"exits7"}, t0);
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_EQ(alone.err, L"exits7: The task scheduler engine is not running; the task was not run.\n");
    EXPECT_TRUE(KsState::takeRunNowRequests().empty());

    // A key whose writer is gone tells no phase to trust: no engine runs these tasks.
    const KsState::MirroredEngine gone{{KsState::EnginePhase::running, KsState::EngineReason::none, t0, 0},
                                       {0xFFFFFFF0u, 1}, t0};
    const std::vector<uint8_t> bytes = KsState::encodeEngine(gone);
    Keelwork::CRegKey key;
    ASSERT_EQ(key.open(HKEY_LOCAL_MACHINE, KsState::kStateKeyPath, KEY_SET_VALUE | KEY_WOW64_64KEY), ERROR_SUCCESS);
    ASSERT_EQ(key.setBinaryValue(KsState::kEngineValueName, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    const std::vector<std::wstring> dead = cells(runTool({L"explain", L"exits7"}, t0).out);
    ASSERT_EQ(dead.size(), 6u);
    EXPECT_EQ(dead[1], L"Verdict | suspended");
    EXPECT_EQ(dead[5].rfind(L"Engine | the module that wrote this state is no longer running", 0), 0u) << dead[5];
    const std::vector<std::wstring> deadList = cells(runTool({L"list"}, t0).out);
    ASSERT_EQ(deadList.size(), listed.size() + 1);
    EXPECT_EQ(deadList[1], L"exits7 | every 3600 s | " + hour + L" | suspended | exit 7");
    EXPECT_EQ(deadList.back(), L"The module that wrote the engine's state is no longer running.");

    // A writer that stopped cleanly said so: its "stopped" is trusted after it is gone.
    KsState::MirroredEngine clean = gone;
    clean.engine.phase = KsState::EnginePhase::stopped;
    const std::vector<uint8_t> cleanBytes = KsState::encodeEngine(clean);
    ASSERT_EQ(key.setBinaryValue(KsState::kEngineValueName, cleanBytes.data(), static_cast<DWORD>(cleanBytes.size())),
              ERROR_SUCCESS);
    EXPECT_EQ(cells(runTool({L"explain", L"exits7"}, t0).out).back(), L"Engine | stopped since " + T(t0));
    EXPECT_EQ(cells(runTool({L"list"}, t0).out).size(), listed.size());
}

// A name the code page cannot hold is one task wherever it is looked up: held, and then while its
// program runs, the bus answer, kstask's explain and its list tell the same verdict.
TEST_F(KsTaskOverEngine, ATaskNamedOutsideTheCodePageIsTheSameTaskToEveryReader)
{
    const std::wstring name = L"Smile \U0001F600";
    GateTask gate;
    storeTask({.name = name, .params = gate.params()});
    answerFullScreen(true);
    start();
    kick();
    triggerAndPump();
    const auto verdicts = [&](const wchar_t *verdict) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(verdict)));
        ASSERT_TRUE(awaitMirror([](const KsState::MirroredState& s) { return s.tasks.size() == 1; }));
        const uint32_t now = Keelwork::Clock::current().now();
        KsInsight::BoardStateSource board;
        const std::wstring bus = KsInsight::explainReply(L"{\"name\":\"" + name + L"\"}", board, now);
        EXPECT_NE(bus.find(L"\"verdict\":\"" + std::wstring(verdict) + L"\""), std::wstring::npos)
            << narrowForReport(bus);
        const std::vector<std::wstring> explained = cells(runTool({L"explain", name}, now).out);
        ASSERT_GE(explained.size(), 2u);
        EXPECT_EQ(explained[1], L"Verdict | " + std::wstring(verdict));
        const std::vector<std::wstring> listed = cells(runTool({L"list"}, now).out);
        ASSERT_EQ(listed.size(), 2u);
        EXPECT_NE(listed[1].find(L" | " + std::wstring(verdict) + L" | "), std::wstring::npos)
            << narrowForReport(listed[1]);
    };
    verdicts(L"held");
    answerFullScreen(false);
    fireTimer();
    ASSERT_TRUE(gate.runs());
    ASSERT_TRUE(awaitMirror(
        [](const KsState::MirroredState& s) { return !s.tasks.empty() && s.tasks.begin()->second.running; }));
    verdicts(L"running");
    gate.release();
}

// A user whose locale has another code page than the system's still sees every task, by any name.
TEST_F(KsTaskOverEngine, AnotherUserLocaleFindsTheSameTasks)
{
    storeTask({.name = L"Caf\u00e9"});
    const uint32_t now = Keelwork::Clock::current().now();
    kstest::OtherThreadLocale locale;
    const std::vector<std::wstring> listed = cells(runTool({L"list"}, now).out);
    ASSERT_GE(listed.size(), 2u);  // and, with no engine, a line that says so
    EXPECT_EQ(listed[1].rfind(L"caf\u00e9 | every 3600 s | ", 0), 0u) << narrowForReport(listed[1]);
    for (const wchar_t* command : {L"explain", L"history", L"preview"})
        EXPECT_EQ(runTool({command, L"CAF\u00e9"}, now).exitCode, 0) << testing::PrintToString(std::wstring(command));
}

// What a run's tree used, beside its launch and beside a run the engine stopped.
TEST_F(KsTaskOverEngine, HistoryAndExplainShowTheTreesUsage)
{
    storeTask({.name = L"busy"});
    using KsStore::HistoryEvent;
    ASSERT_TRUE(KsStore::TaskHistory::append(L"busy", {1800000000, HistoryEvent::launched, true, 0, 0, 900, 0, 0, 0,
                                                       310, 64u << 20}));
    ASSERT_TRUE(KsStore::TaskHistory::append(L"busy", {1800000100, HistoryEvent::stopped, false, 0, 0, 2000, 1, 0, 0,
                                                       2100, std::nullopt}));
    EXPECT_EQ(cells(runTool({L"history", L"busy"}, 1800000200).out),
              (std::vector<std::wstring>{L"TIME | EVENT | DETAIL", T(1800000100) + L" | stopped | time limit, cpu 2100 ms",
                                         T(1800000000) + L" | launched | result 0, exit code 0, 900 ms, cpu 310 ms, "
                                                         L"peak memory 64.0 MB"}));
    EXPECT_EQ(cells(runTool({L"explain", L"busy"}, 1800000200).out)[4],
              L"Last launch | " + T(1800000000) + L", result 0, exit code 0, 900 ms, cpu 310 ms, peak memory 64.0 MB");
}

// Bad usage gives exit code 2 and the usage text; the built program writes UTF-8 when redirected.
TEST(KsTaskProgram, BadUsageAndUnknownTasksEndWithTheirCodes)
{
    const std::vector<std::vector<std::wstring>> badUsage = {
        {},
        {L"frobnicate"},
        {L"explain"},
        {L"explain", L"a", L"b"},
        {L"list", L"extra"},
        {L"list", L"-n", L"3"},
        {L"history", L"a", L"-n", L"0"},
        {L"history", L"a", L"--all"},
        {L"preview", L"a", L"-n", L"101"},
        {L"preview", L"a", L"--daily", L"03:30"},
        {L"preview", L"--weekly", L"Mon,Funday", L"03:30"},
        {L"preview", L"--daily", L"24:00"},
        {L"preview", L"--every", L"0"},
        {L"preview", L"--every", L"60", L"--daily", L"03:30"},
        {L"run", L"a", L"--bogus"},
    };
    for (const auto& args : badUsage) {
        const KsTaskTool::Outcome outcome = runTool(args, 1800000000);
        EXPECT_EQ(outcome.exitCode, 2) << (args.empty() ? "(none)" : std::string(args[0].begin(), args[0].end()));
        EXPECT_EQ(outcome.err.rfind(L"usage: kstask", 0), 0u);
        EXPECT_TRUE(outcome.out.empty());
    }

    modhosttest::HostScratch scratch;
    const modhosttest::HostRun usage = scratch.runProgram(L"kstask.exe", {L"preview", L"--every"});
    modhosttest::expectEnded(usage, 2);
    EXPECT_EQ(usage.err.rfind("usage: kstask <command> [--json]\n", 0), 0u) << usage.err;
    EXPECT_NE(usage.err.find("2 bad usage; 3 the registry cannot be read"), std::string::npos) << usage.err;
    const modhosttest::HostRun unknown = scratch.runProgram(L"kstask.exe", {L"explain", L"n\u00e4me-nobody-has"});
    modhosttest::expectEnded(unknown, 1);
    EXPECT_EQ(unknown.err, "n\xc3\xa4me-nobody-has: No task of that name is stored.\n");
}

} // namespace
