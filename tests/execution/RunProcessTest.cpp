// CCPHelper::RunProcess in the service's own context, with the real sample-task.exe reporting
// back the command line, working directory and priority class it was given.
#include "RealApiTable.h"
#include "SampleTaskReport.h"

#include "LogFileReader.h"
#include "execution/CreateProcessHelper.h"
#include "execution/KsWin32API.h"

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

TEST(RunProcess, WithoutParametersQuotesThePathAlone)
{
    EXPECT_EQ(CCPHelper::CommandLineOf(L"C:\\p\\x.exe", nullptr), L"\"C:\\p\\x.exe\"");
    EXPECT_EQ(CCPHelper::CommandLineOf(L"C:\\p\\x.exe", L""), L"\"C:\\p\\x.exe\"");
    EXPECT_EQ(CCPHelper::CommandLineOf(L"C:\\p\\x.exe", L"-a"), L"\"C:\\p\\x.exe\" -a");

    CCPHelper helper;
    DWORD error = 0xFFFF;
    auto process = helper.RunProcess(kstest::sampleTaskPath().c_str(), nullptr, &error, 0, nullptr, nullptr, 0);
    ASSERT_TRUE(process);
    DWORD exitCode = 1;
    ASSERT_TRUE(kstest::waitForExit(process.get(), &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

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

TEST(RunProcess, WorkingDirectoryIsCutToAPathBuffer)
{
    std::wstring longFolder = L"C:\\" + std::wstring(300, L'd');
    EXPECT_EQ(CCPHelper::WorkingDirectoryOf((longFolder + L"\\x.exe").c_str()).size(), 259u);
    EXPECT_EQ(CCPHelper::WorkingDirectoryOf(L"C:\\a\\b\\x.exe"), L"C:\\a\\b");
}

// Wine 8 accepts a priority class at creation but runs the child at normal priority, so the
// class is checked where it leaves for the system: the CreateProcessW call, which still runs.
struct RecordingCreateProcess {
    static inline DWORD lastFlags = 0xFFFFFFFF;
    static BOOL WINAPI call(LPCWSTR application, LPWSTR cmdline, LPSECURITY_ATTRIBUTES process,
                            LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                            LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info)
    {
        lastFlags = flags;
        return ::CreateProcessW(application, cmdline, process, thread, inherit, flags, environment, folder, startup,
                                info);
    }
};

class RunProcessPriority : public ::testing::TestWithParam<DWORD> {};

TEST_P(RunProcessPriority, RequestedClassIsPassedToProcessCreation)
{
    auto table = kstest::realApiTableCopy();
    table->pCreateProcessW = &RecordingCreateProcess::call;
    CCPHelper helper(std::move(table));
    DWORD error = 0xFFFF;
    auto process =
        helper.RunProcess(kstest::sampleTaskPath().c_str(), L"--exit 0", &error, 0, nullptr, nullptr, GetParam());
    ASSERT_TRUE(process) << "error " << error;
    EXPECT_TRUE(kstest::waitForExit(process.get()));
    EXPECT_EQ(RecordingCreateProcess::lastFlags, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Classes, RunProcessPriority,
                         ::testing::Values(DWORD{IDLE_PRIORITY_CLASS}, DWORD{BELOW_NORMAL_PRIORITY_CLASS},
                                           DWORD{NORMAL_PRIORITY_CLASS}, DWORD{0}));

TEST(RunProcess, MissingProgramFailsWithFileNotFoundAndLogs)
{
    kstest::LogCapture log;
    std::wstring missing = kstest::testProgramFolder() + L"\\no-such-program.exe";
    CCPHelper helper;
    DWORD error = 0;
    auto process = helper.RunProcess(missing.c_str(), L"-a", &error, 0, nullptr, nullptr, 0);
    EXPECT_FALSE(process);
    EXPECT_EQ(error, DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_TRUE(log.contains(L"Failed to create process (\"" + missing + L"\" -a). ErrorCode: 2")) << log.text();
}

TEST(RunProcess, EmptyPathGivesNoProcessAndNoError)
{
    CCPHelper helper;
    for (const wchar_t* path : {static_cast<const wchar_t*>(nullptr), L""}) {
        DWORD error = 0xFFFF;
        EXPECT_FALSE(helper.RunProcess(path, L"-a", &error, 0, nullptr, nullptr, 0));
        EXPECT_EQ(error, 0u);
    }
}

TEST(RunProcess, MissingCreateProcessFunctionFailsTheStart)
{
    auto table = kstest::realApiTableCopy();
    table->pCreateProcessW = nullptr;
    CCPHelper helper(std::move(table));
    DWORD error = 0;
    EXPECT_FALSE(helper.RunProcess(kstest::sampleTaskPath().c_str(), nullptr, &error, 0, nullptr, nullptr, 0));
    EXPECT_EQ(error, DWORD{ERROR_PROC_NOT_FOUND});
}

TEST(RunProcess, SuccessIsLoggedWithTheCommandLine)
{
    kstest::LogCapture log;
    CCPHelper helper;
    DWORD error = 0xFFFF;
    std::wstring program = kstest::sampleTaskPath();
    auto process = helper.RunProcess(program.c_str(), L"--exit 3", &error, 0, nullptr, nullptr, 0);
    ASSERT_TRUE(process);
    DWORD exitCode = 0;
    ASSERT_TRUE(kstest::waitForExit(process.get(), &exitCode));
    EXPECT_EQ(exitCode, 3u);
    EXPECT_TRUE(log.contains(L"Successfully created process (\"" + program + L"\" --exit 3)")) << log.text();
}

} // namespace
