// The host driving a real module library (EchoModule.dll): the life-cycle calls in order over
// either bus hand-over, watch output of the module's messages, requests, direct messages,
// settings, and a module that refuses to start.
#include "HostRun.h"

#include <gtest/gtest.h>

namespace {

using modhosttest::HostRun;
using modhosttest::HostScratch;

std::wstring echoModule()
{
    return modhosttest::binFolder() + L"EchoModule.dll=echo";
}

void expectEnded(const HostRun& run, unsigned long code)
{
    ASSERT_TRUE(run.ended) << "modhost did not end within its bound\n" << run.out << run.err;
    EXPECT_EQ(run.exitCode, code) << run.out << run.err;
}

// v2 hands the host's bus over; v1 lets the module open its own. Both must carry messages.
class BusHandOver : public ::testing::TestWithParam<const wchar_t*> {
protected:
    std::vector<std::wstring> args() const { return {L"--module", echoModule(), L"--init", GetParam()}; }
};

TEST_P(BusHandOver, LifeCycleRunsInOrderAroundTheScenario)
{
    HostScratch scratch;
    const std::string scenario = "echo scenario runs\n";
    HostRun run = scratch.run(args(), &scenario);
    expectEnded(run, 0);
    const char* init = GetParam() == std::wstring(L"v2") ? "InitializeModuleV2 (host bus)" : "InitializeModule (own bus)";
    int at = -1;
    for (const char* step : {"echo: NewModule", init, "echo: StartModule", "scenario runs", "echo: StopModule",
                             "echo: UninitializeModule", "echo: DestroyModule"}) {
        int next = run.lineIndex(step, at + 1);
        ASSERT_GT(next, at) << step << " missing or out of order\n" << run.out;
        at = next;
    }
    for (const std::string& line : run.lines()) {
        if (line.find("echo: ") != std::string::npos && line.find("loaded") == std::string::npos) {
            EXPECT_NE(line.find("MODULE_STATUS_SUCCESS"), std::string::npos) << line;
        }
    }
    EXPECT_NE(run.lineWith({"manager", "echo asked the module manager"}), "") << run.out;
}

TEST_P(BusHandOver, ModuleAnswersRequestAndWatchPrintsOnlyMatchingNames)
{
    HostScratch scratch;
    const std::string scenario = "watch Echo\\.Seen\n"
                                 "request Echo.Request 5000 {\"ping\":1}\n"
                                 "expect Echo\\.Seen 5000\n";
    HostRun run = scratch.run(args(), &scenario);
    expectEnded(run, 0);
    EXPECT_NE(run.lineWith({"reply", "Echo.Reply", "from echo", "{\"ping\":1}"}), "") << run.out;
    EXPECT_NE(run.lineWith({"message", "Echo.Seen", "from echo", "{\"ping\":1}"}), "") << run.out;
    // Started is published before the watch and is not watched anyway; the host's own request is
    // printed once, as sent.
    EXPECT_EQ(run.lineWith({"message", "Echo.Started"}), "") << run.out;
    EXPECT_EQ(run.lineWith({"from modhost"}), "") << run.out;
}

INSTANTIATE_TEST_SUITE_P(Init, BusHandOver, ::testing::Values(L"v1", L"v2"),
                         [](const auto& info) { return std::string(info.param == std::wstring(L"v1") ? "V1" : "V2"); });

TEST(HostModule, DirectMessageReachesTheNamedModule)
{
    HostScratch scratch;
    const std::string scenario = "direct echo Echo.Poke {\"p\": 7}\n"
                                 "expect Echo\\.Direct 5000 {\"p\": 7}\n";
    HostRun run = scratch.run({L"--module", echoModule()}, &scenario);
    expectEnded(run, 0);
    EXPECT_NE(run.lineWith({"direct", "echo <- Echo.Poke", "MODULE_STATUS_SUCCESS"}), "") << run.out;
}

TEST(HostModule, DirectMessageToUnknownModuleIsMalformedButModulesStillStop)
{
    HostScratch scratch;
    const std::string scenario = "direct nobody Echo.Poke {}\n";
    HostRun run = scratch.run({L"--module", echoModule()}, &scenario);
    expectEnded(run, 2);
    EXPECT_NE(run.err.find("no module named 'nobody'"), std::string::npos) << run.err;
    EXPECT_GE(run.lineIndex("echo: DestroyModule"), 0) << run.out;
}

TEST(HostModule, SettingsReachTheModuleInOrderGiven)
{
    HostScratch scratch;
    const std::string scenario = "expect Echo\\.Started 5000 alpha=1;beta=two words\n";
    HostRun run = scratch.run({L"--module", echoModule(), L"--setting", L"alpha=1", L"--setting", L"beta=two words"},
                              &scenario);
    expectEnded(run, 0);
}

TEST(HostModule, TwoModulesComeUpInOrderAndGoDownInReverse)
{
    HostScratch scratch;
    const std::string scenario = "expect Echo\\.Started 5000\nexpect Echo\\.Started 5000\n";
    HostRun run = scratch.run({L"--module", echoModule(), L"--module", modhosttest::binFolder() + L"EchoModule.dll=second"},
                              &scenario);
    expectEnded(run, 0);
    EXPECT_LT(run.lineIndex("echo: StartModule"), run.lineIndex("second: NewModule")) << run.out;
    EXPECT_LT(run.lineIndex("second: DestroyModule"), run.lineIndex("echo: StopModule")) << run.out;
}

TEST(HostModule, ModuleRefusingToStartFailsTheHostAndIsTakenDown)
{
    HostScratch scratch;
    const std::string scenario = "echo scenario runs\n";
    HostRun run = scratch.run({L"--module", echoModule(), L"--setting", L"failStart=1"}, &scenario);
    expectEnded(run, 3);
    EXPECT_NE(run.lineWith({"echo: StartModule", "MODULE_STATUS_UNSUCCESSFUL"}), "") << run.out;
    EXPECT_EQ(run.lineIndex("scenario runs"), -1) << run.out;
    int stop = run.lineIndex("echo: StopModule");
    EXPECT_GE(stop, 0) << run.out;
    EXPECT_GT(run.lineIndex("echo: DestroyModule"), stop) << run.out;
}

TEST(HostModule, MissingModuleLibraryIsAHostFailure)
{
    HostScratch scratch;
    const std::string scenario = "echo scenario runs\n";
    HostRun run = scratch.run({L"--module", scratch.path() + L"\\Missing.dll"}, &scenario);
    expectEnded(run, 3);
    EXPECT_NE(run.err.find("cannot load module library"), std::string::npos) << run.err;
}

} // namespace
