// CCPHelper::RunProcess in the service's own context, with the real sample-task.exe reporting
// back the command line, working directory and priority class it was given.
#include "RealApiTable.h"
#include "SampleTaskReport.h"

#include "LogFileReader.h"
#include "execution/CreateProcessHelper.h"
#include "platform/KsWin32API.h"

#include <gtest/gtest.h>

namespace {

using kstest::ReportFile;

struct CommandLineCase {
    const wchar_t* extraParams;  // appended after the report arguments
};

class RunProcessCommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(RunProcessCommandLine, IsQuotedPathBlankAndParametersInProgramFolder)
{
    ReportFile report;
    std::wstring program = kstest::sampleTaskPath();
    std::wstring params = L"--report " + report.path() + GetParam().extraParams;
    CCPHelper helper;
    DWORD error = 0xFFFF;
    Keelwork::unique_handle process = helper.RunProcess(program.c_str(), params.c_str(), &error, 0, nullptr, nullptr, 0);
    ASSERT_TRUE(process) << "error " << error;
    EXPECT_EQ(error, 0u);
    DWORD exitCode = 1;
    ASSERT_TRUE(kstest::waitForExit(process.get(), &exitCode));
    EXPECT_EQ(exitCode, 0u);

    auto record = report.firstRecord();
    EXPECT_EQ(record[L"cmdline"], L"\"" + program + L"\" " + params);
    EXPECT_EQ(record[L"cwd"], kstest::testProgramFolder());
}

INSTANTIATE_TEST_SUITE_P(Parameters, RunProcessCommandLine,
                         ::testing::Values(CommandLineCase{L""}, CommandLineCase{L" -a"},
                                           CommandLineCase{L" \"two words\" x=1"}));

TEST(RunProcess, PathWithoutBackslashRunsInCallersFolder)
{
    // Found beside the test program by the system's search; the working directory stays ours.
    ReportFile report;
    std::wstring params = L"--report " + report.path();
    CCPHelper helper;
    DWORD error = 0xFFFF;
    auto process = helper.RunProcess(L"sample-task.exe", params.c_str(), &error, 0, nullptr, nullptr, 0);
    ASSERT_TRUE(process) << "error " << error;
    ASSERT_TRUE(kstest::waitForExit(process.get()));
    auto record = report.firstRecord();
    EXPECT_EQ(record[L"cmdline"], L"\"sample-task.exe\" " + params);
    EXPECT_EQ(record[L"cwd"], kstest::currentFolder());
    EXPECT_EQ(CCPHelper::WorkingDirectoryOf(L"sample-task.exe"), L"");
}

} // namespace
