// The host over MessageBus.dll alone: stand-in answers (also switched by a scenario), expect,
// absent and forget passing and failing, registry values written by a scenario, standard input,
// and malformed command lines and scenarios, and a missing bus or module library.
#include "HostRun.h"

#include "common/WinInclude.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using modhosttest::expectEnded;
using modhosttest::HostRun;
using modhosttest::HostScratch;

struct StandInCase {
    const char* label;
    std::vector<std::wstring> args;
    const char* request;
    const char* reply;
    const char* before = "";  // scenario lines before the request
};

// Each case prints as its label in test output, not as its bytes.
void PrintTo(const StandInCase& value, std::ostream* os) { *os << value.label; }

class StandInAnswers : public ::testing::TestWithParam<StandInCase> {};

TEST_P(StandInAnswers, RequestGetsTheReplyNamedOnTheCommandLine)
{
    const StandInCase& param = GetParam();
    HostScratch scratch;
    const std::string scenario = std::string(param.before) + "request " + param.request + " 5000\n";
    HostRun run = scratch.run(param.args, &scenario);
    expectEnded(run, 0);
    EXPECT_NE(run.lineWith({"reply", param.reply}), "") << run.out;
    EXPECT_NE(run.lineWith({"answer", param.reply, param.request}), "") << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, StandInAnswers,
    ::testing::Values(
        StandInCase{"StandbyOn", {L"--standby", L"on"}, "SystemMonitor.ConnectedStandby.Status.Request",
                    "SystemMonitor.ConnectedStandby.On"},
        StandInCase{"AnyReplyName", {L"--notification-state", L"SessionMonitor.NotificationState.Busy"},
                    "SessionMonitor.Get.NotificationState", "SessionMonitor.NotificationState.Busy"},
        // Each stand-in answers only its own request.
        StandInCase{"BothConfigured", {L"--standby", L"on", L"--notification-state", L"normal"},
                    "SessionMonitor.Get.NotificationState", "SessionMonitor.NotificationState.AcceptsNotifications"},
        // A scenario switches an answer mid-run (the command line's first), or gives one the command
        // line did not.
        StandInCase{"SwitchedByScenario", {L"--notification-state", L"fullscreen"}, "SessionMonitor.Get.NotificationState",
                    "SessionMonitor.NotificationState.AcceptsNotifications",
                    "request SessionMonitor.Get.NotificationState 5000\n"
                    "expect SessionMonitor\\.NotificationState\\.FullScreenAppRunning 1000\n"
                    "answer notification-state normal\n"},
        StandInCase{"GivenOnlyByScenario", {}, "SystemMonitor.ConnectedStandby.Status.Request",
                    "SystemMonitor.ConnectedStandby.On", "answer standby on\n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(HostScenario, RequestNobodyAnswersEndsWithoutReply)
{
    HostScratch scratch;
    const std::string scenario = "request SystemMonitor.ConnectedStandby.Status.Request 200\n";
    HostRun run = scratch.run({}, &scenario);
    expectEnded(run, 0);
    EXPECT_NE(run.lineWith({"reply", "none for SystemMonitor.ConnectedStandby.Status.Request",
                            "MODULE_STATUS_TIMEOUT"}),
              "")
        << run.out;
}

struct FailingExpect {
    const char* label;
    const char* scenario;
    unsigned failingLine;
};

void PrintTo(const FailingExpect& value, std::ostream* os) { *os << value.label; }

class ExpectFailure : public ::testing::TestWithParam<FailingExpect> {};

TEST_P(ExpectFailure, EndsNonZeroNamingTheLineAndSkipsTheRest)
{
    HostScratch scratch;
    const std::string scenario = std::string(GetParam().scenario) + "echo after the failure\n";
    HostRun run = scratch.run({}, &scenario);
    expectEnded(run, 1);
    EXPECT_NE(run.lineWith({"FAILED"}), "") << run.out;
    EXPECT_NE(run.err.find("the scenario failed at line " + std::to_string(GetParam().failingLine)),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.lineIndex("after the failure"), -1) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpectFailure,
    ::testing::Values(FailingExpect{"NothingPublished", "# nothing\nexpect Demo\\.Never 300\n", 2},
                      FailingExpect{"SubstringAbsent", "publish Demo.One {\"n\": 1}\nexpect Demo\\.One 300 \"n\": 2\n", 2},
                      FailingExpect{"NameMustMatchWhole", "publish Demo.OneMore {}\nexpect Demo\\.One 300\n", 2},
                      FailingExpect{"OneMessageServesOneExpect",
                                    "publish Demo.One {}\nexpect Demo\\.One 2000\nexpect Demo\\.One 300\n", 3},
                      FailingExpect{"ForgottenMessageServesNoExpect",
                                    "publish Demo.One {}\npublish Demo.Two {}\nexpect Demo\\.Two 2000\n"
                                    "forget Demo\\..*\nabsent Demo\\.One 100\nexpect Demo\\.One 300\n", 6},
                      FailingExpect{"AbsentSeesAMatch", "publish Demo.One {\"n\": 1}\nabsent Demo\\.One 2000 \"n\"\n", 2}),
    [](const auto& info) { return std::string(info.param.label); });

// Commands typed on standard input run as they come, until stop. An expect takes any unclaimed
// match, an earlier one too; the installer's message, published as the host starts, is one.
TEST(HostScenario, StandardInputRunsCommandsUntilStop)
{
    HostScratch scratch;
    HostRun run = scratch.run({L"--standby", L"off", L"--installer-complete"}, nullptr,
                              "publish Demo.One {\"n\": 1}\n"
                              "publish Demo.Two {\"n\": 2}\n"
                              "expect Demo\\..* 2000 \"n\": 2\n"
                              "expect Demo\\..* 2000\n"
                              "expect Core\\.Installer\\.Complete 3000\n"
                              "request SystemMonitor.ConnectedStandby.Status.Request 5000\n"
                              "stop\n"
                              "echo never reached\n");
    expectEnded(run, 0);
    EXPECT_NE(run.lineWith({"expect", "ok", "Demo.Two"}), "") << run.out;
    EXPECT_NE(run.lineWith({"expect", "ok", "Demo.One"}), "") << run.out;
    EXPECT_NE(run.lineWith({"reply", "SystemMonitor.ConnectedStandby.Off"}), "") << run.out;
    EXPECT_EQ(run.lineIndex("never reached"), -1) << run.out;
}

// A malformed command line or scenario ends the host with 2, a library it cannot load with 3.
struct MalformedCase {
    const char* label;
    std::vector<std::wstring> args;
    const char* scenario;  // null: none given
    const char* message;   // on standard error
    unsigned long exitCode = 2;
};

void PrintTo(const MalformedCase& value, std::ostream* os) { *os << value.label; }

class Malformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(Malformed, IsReportedClearlyAndNothingRuns)
{
    const MalformedCase& param = GetParam();
    HostScratch scratch;
    std::string scenario = param.scenario ? param.scenario : "";
    HostRun run = param.scenario ? scratch.run(param.args, &scenario) : scratch.run(param.args);
    expectEnded(run, param.exitCode);
    EXPECT_NE(run.err.find(param.message), std::string::npos) << run.err;
    // The scenario is checked whole before it runs, so its first line never prints.
    EXPECT_EQ(run.lineIndex("first line"), -1) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Malformed,
    ::testing::Values(
        MalformedCase{"UnknownCommand", {}, "echo first line\npublsh Demo.One {}\n", "scenario.txt:2: unknown command 'publsh'"},
        MalformedCase{"ExpectWithoutTimeout", {}, "echo first line\nexpect Demo\\.One soon\n",
                      "scenario.txt:2: expected \"expect <pattern> <timeout-ms> [substring]\""},
        MalformedCase{"BadPattern", {}, "echo first line\nwatch Demo[\n", "scenario.txt:2: 'Demo[' is not a valid pattern"},
        MalformedCase{"UnknownOption", {L"--bogus"}, "echo first line\n", "unknown option --bogus"},
        MalformedCase{"BadStandbyAnswer", {L"--standby", L"maybe"}, "echo first line\n", "bad value for --standby: 'maybe'"},
        MalformedCase{"SettingWithoutValue", {L"--setting", L"justakey"}, "echo first line\n",
                      "bad value for --setting: 'justakey'"},
        MalformedCase{"AnswerOfUnknownStandIn", {}, "echo first line\nanswer weather sunny\n",
                      "expected \"answer standby|notification-state <answer>\""},
        MalformedCase{"RegsetUnknownType", {}, "echo first line\nregset SOFTWARE\\Demo Value qword 1\n",
                      "expected \"regset <key> <value> dword <number>"},
        MalformedCase{"OptionWithoutValue", {L"--module"}, nullptr, "--module needs a value"},
        MalformedCase{"TwoScenarios", {L"a.txt", L"b.txt"}, nullptr, "more than one scenario given"},
        MalformedCase{"RejectedByCheck", {L"--check"}, "echo first line\nexpect Demo\\.One\n", "scenario.txt:2: expected"},
        MalformedCase{"MissingBusLibrary", {L"--bus", L"C:\\no-such-folder\\NoSuchBus.dll"}, "echo first line\n",
                      "cannot load the bus library", 3},
        MalformedCase{"MissingModuleLibrary", {L"--module", L"C:\\no-such-folder\\Missing.dll"}, "echo first line\n",
                      "cannot load module library", 3}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(HostScenario, MalformedStandardInputLineStopsTheRun)
{
    HostScratch scratch;
    HostRun run = scratch.run({}, nullptr, "echo first\nexpect\necho second\n");
    expectEnded(run, 2);
    EXPECT_GE(run.lineIndex("first"), 0);
    EXPECT_EQ(run.lineIndex("second"), -1) << run.out;
    EXPECT_NE(run.err.find("line 2: expected"), std::string::npos) << run.err;
}

// The child writes into the prefix's own registry, which this process reads back and removes.
TEST(HostScenario, RegsetWritesDwordAndStringValuesUnderLocalMachine)
{
    const std::wstring key = L"SOFTWARE\\Kestrel\\ModhostRegsetTest-" + std::to_wstring(GetCurrentProcessId());
    const std::string keyText(key.begin(), key.end());
    HostScratch scratch;
    const std::string scenario = "regset HKLM\\" + keyText + " Count dword 4294967295\n" + "regset " + keyText +
                                 " Label string two  words\n";
    HostRun run = scratch.run({}, &scenario);
    DWORD count = 0;
    DWORD size = sizeof count;
    const LSTATUS countRead =
        RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Count", RRF_RT_REG_DWORD, nullptr, &count, &size);
    wchar_t label[32] = {};
    size = sizeof label;
    const LSTATUS labelRead =
        RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Label", RRF_RT_REG_SZ, nullptr, label, &size);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    expectEnded(run, 0);
    EXPECT_EQ(countRead, ERROR_SUCCESS);
    EXPECT_EQ(count, 0xFFFFFFFFu);
    EXPECT_EQ(labelRead, ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(label), L"two  words");
}

} // namespace
