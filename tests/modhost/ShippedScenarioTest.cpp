// Every scenario shipped in tools/modhost/scenarios is well formed, so the demo never stops at a
// typo; and --check really rejects a bad one.
#include "common/UniqueHandle.h"
#include "HostRun.h"

#include "common/WinInclude.h"

#include <gtest/gtest.h>

namespace {

using modhosttest::HostRun;
using modhosttest::HostScratch;

// The source tree's scenario folder as the Windows side sees it (Wine maps / to Z:).
std::wstring scenarioFolder()
{
    std::wstring folder = L"Z:" KS_MODHOST_SCENARIOS_W;
    for (wchar_t& c : folder)
        if (c == L'/')
            c = L'\\';
    return folder + L"\\";
}

std::vector<std::wstring> shippedScenarios()
{
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    Keelwork::unique_find search(FindFirstFileW((scenarioFolder() + L"*.txt").c_str(), &found));
    if (!search)
        return files;
    do
        files.push_back(scenarioFolder() + found.cFileName);
    while (FindNextFileW(search.get(), &found));
    return files;
}

TEST(ShippedScenarios, EveryOneIsWellFormed)
{
    const std::vector<std::wstring> files = shippedScenarios();
    ASSERT_FALSE(files.empty()) << "no scenarios found";
    HostScratch scratch;
    for (const std::wstring& file : files) {
        HostRun run = scratch.run({L"--check", file});
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_NE(run.lineWith({"all well formed"}), "") << run.out;
    }
}

TEST(ShippedScenarios, CheckRejectsAMalformedScenario)
{
    HostScratch scratch;
    const std::string scenario = "echo fine\nexpect Demo\\.One\n";
    HostRun run = scratch.run({L"--check"}, &scenario);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.err.find("scenario.txt:2: expected"), std::string::npos) << run.err;
}

} // namespace
