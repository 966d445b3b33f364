// The host driving a real module library (EchoModule.dll): the life-cycle calls of two modules in
// order for either initialization, settings, a direct message to no module and a module that
// refuses to start. A missing module library is among the host's malformed runs.
#include "HostRun.h"

#include <gtest/gtest.h>

namespace {

using modhosttest::expectEnded;
using modhosttest::HostRun;
using modhosttest::HostScratch;

std::wstring echoModule()
{
    return modhosttest::binFolder() + L"EchoModule.dll=echo";
}

// v2 hands the host's bus over; v1 lets the module open its own. Two modules come up in the
// order given and go down in reverse, each whole before the other.
class LifeCycle : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(LifeCycle, RunsInOrderAroundTheScenario)
{
    HostScratch scratch;
    const std::string scenario = "echo scenario runs\n";
    HostRun run = scratch.run({L"--module", echoModule(), L"--module", modhosttest::binFolder() + L"EchoModule.dll=second",
                               L"--init", GetParam()},
                              &scenario);
    expectEnded(run, 0);
    const bool v2 = GetParam() == std::wstring(L"v2");
    int at = -1;
    for (const char* step : {"echo: NewModule", v2 ? "echo: InitializeModuleV2 (host bus)" : "echo: InitializeModule (own bus)",
                             "echo: StartModule", "second: NewModule", "second: StartModule", "scenario runs",
                             "second: StopModule", "second: DestroyModule", "echo: StopModule",
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

INSTANTIATE_TEST_SUITE_P(Init, LifeCycle, ::testing::Values(L"v1", L"v2"),
                         [](const auto& info) { return std::string(info.param == std::wstring(L"v1") ? "V1" : "V2"); });

TEST(HostModule, DirectMessageToUnknownModuleIsMalformedButModulesStillStop)
{
    HostScratch scratch;
    const std::string scenario = "direct nobody Echo.Poke {}\n";
    HostRun run = scratch.run({L"--module", echoModule()}, &scenario);
    expectEnded(run, 2);
    EXPECT_NE(run.err.find("no module named 'nobody'"), std::string::npos) << run.err;
    EXPECT_GE(run.lineIndex("echo: DestroyModule"), 0) << run.out;
}

// The refusal hangs on the second setting's value, two words: it proves the settings reach the
// module whole as well.
TEST(HostModule, ModuleRefusingToStartFailsTheHostAndIsTakenDown)
{
    HostScratch scratch;
    const std::string scenario = "echo scenario runs\n";
    HostRun run = scratch.run({L"--module", echoModule(), L"--setting", L"alpha=1", L"--setting", L"failStart=on purpose"},
                              &scenario);
    expectEnded(run, 3);
    EXPECT_NE(run.lineWith({"echo: StartModule", "MODULE_STATUS_UNSUCCESSFUL"}), "") << run.out;
    EXPECT_EQ(run.lineIndex("scenario runs"), -1) << run.out;
    int stop = run.lineIndex("echo: StopModule");
    EXPECT_GE(stop, 0) << run.out;
    EXPECT_GT(run.lineIndex("echo: DestroyModule"), stop) << run.out;
}

} // namespace
