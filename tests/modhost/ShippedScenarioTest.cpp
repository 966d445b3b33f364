// Every scenario shipped in tools/modhost/scenarios is well formed, so the demo never stops at a
// typo. That --check rejects a bad one is among the host's malformed runs.
#include "HostRun.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using modhosttest::expectEnded;
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
    std::error_code missing;  // no folder: no scenarios, which the test reports
    for (const auto& entry : std::filesystem::directory_iterator(scenarioFolder(), missing))
        if (entry.path().extension() == L".txt")
            files.push_back(entry.path().wstring());
    return files;
}

TEST(ShippedScenarios, EveryOneIsWellFormed)
{
    const std::vector<std::wstring> files = shippedScenarios();
    ASSERT_FALSE(files.empty()) << "no scenarios found";
    HostScratch scratch;
    for (const std::wstring& file : files) {
        HostRun run = scratch.run({L"--check", file});
        expectEnded(run, 0);
        EXPECT_NE(run.lineWith({"all well formed"}), "") << run.out;
    }
}

} // namespace
