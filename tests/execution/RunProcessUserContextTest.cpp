// CCPHelper::RunProcess in the interactive user's context: the real outcome under Wine (no
// terminal sessions), and the session and shell choices with single table entries substituted.
#include "FakeSessions.h"
#include "RealApiTable.h"
#include "SampleTaskReport.h"

#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "execution/CreateProcessHelper.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kWinlogon[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

using kstest::FakeSessions;
using kstest::session;
using kstest::tableWithFakeSessions;

class UserContext : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        FakeSessions::reset();
    }
};

TEST_F(UserContext, WithoutSessionsSessionVariantFails1312AndShellVariant2)
{
    setString(kWinlogon, L"Shell", L"C:\\windows\\ks-no-such-shell.exe");
    kstest::LogCapture log;
    CCPHelper helper;
    DWORD error = 0;
    auto process = helper.RunProcess(kstest::sampleTaskPath().c_str(), L"-a", &error, 1, nullptr, nullptr, 0);
    EXPECT_FALSE(process);
    EXPECT_EQ(error, DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_TRUE(log.contains(L"Active Session Is Not Available. GetLastError() returned 1312")) << log.text();
    EXPECT_TRUE(log.contains(L"The shell program is: C:\\windows\\ks-no-such-shell.exe")) << log.text();
    EXPECT_TRUE(log.contains(L"Could not find the Shell PID")) << log.text();
    EXPECT_TRUE(log.contains(L"CCPHelper::_RunProcessAsUserNT: _GetShellPid returned 2")) << log.text();
}

TEST_F(UserContext, SessionOfTheNamedUserIsChosenIgnoringCase)
{
    FakeSessions::sessions = {session(1, WTSActive), session(2, WTSDisconnected), session(3, WTSActive)};
    FakeSessions::userOfSession = {{1, L"alice"}, {2, L"bob"}, {3, L"Bob"}};
    kstest::ReportFile report;
    std::wstring program = kstest::sampleTaskPath();
    std::wstring params = L"--report " + report.path();
    kstest::LogCapture log;
    CCPHelper helper(tableWithFakeSessions());
    DWORD error = 0xFFFF;
    auto process = helper.RunProcess(program.c_str(), params.c_str(), &error, 1, L"BOB", L"ks", 0);
    ASSERT_TRUE(process) << "error " << error;
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(FakeSessions::lastTokenSession, 3u);
    EXPECT_EQ(FakeSessions::listsFreed, FakeSessions::listsHandedOut);
    ASSERT_TRUE(kstest::waitForExit(process.get()));
    auto record = report.firstRecord();
    EXPECT_EQ(record[L"cmdline"], L"\"" + program + L"\" " + params);
    EXPECT_EQ(record[L"cwd"], kstest::testProgramFolder());
    EXPECT_TRUE(log.contains(L"WTSActive -- SessionId = 1 not matching BOB,ks")) << log.text();
    EXPECT_TRUE(log.contains(L"_IsActiveOrAdminSessionAvailable: Active SessionId = 3, State = 0")) << log.text();
    EXPECT_TRUE(log.contains(L"in the current users context")) << log.text();
}

// In the user's context too, the program runs in a job of its own, below normal when asked.
TEST_F(UserContext, TheProgramRunsInItsJobAtTheAskedPriority)
{
    FakeSessions::sessions = {session(1, WTSActive)};
    FakeSessions::userOfAnyToken = L"alice";
    kstest::ReportFile report;
    const std::wstring params = L"--report " + report.path();
    for (bool background : {false, true}) {
        CCPHelper helper(tableWithFakeSessions());
        DWORD error = 0xFFFF;
        StartedProgram started =
            helper.Start(kstest::sampleTaskPath().c_str(), params.c_str(), &error, 1, nullptr, nullptr, 0, background);
        ASSERT_TRUE(started.process) << "error " << error;
        BOOL inJob = FALSE;
        EXPECT_TRUE(::IsProcessInJob(started.process.get(), started.job.get(), &inJob) && inJob);
        ASSERT_TRUE(kstest::waitForExit(started.process.get()));
    }
    EXPECT_EQ(report.values(L"priority"), (std::vector<std::wstring>{L"0x20", L"0x4000"}));
}

// A token that lacks a privilege: the adjustment "succeeds" and only its last error says that
// nothing was enabled. The start must fail there, not go on without the privilege (the shell
// variant then fails too: there is no shell).
BOOL WINAPI adjustWithoutAssigning(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)
{
    ::SetLastError(ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

TEST_F(UserContext, PrivilegeNotAssignedFailsTheStart)
{
    FakeSessions::sessions = {session(1, WTSActive)};
    FakeSessions::userOfSession = {{1, L"alice"}};
    auto table = tableWithFakeSessions();
    table->pAdjustTokenPrivileges = &adjustWithoutAssigning;
    kstest::LogCapture log;
    CCPHelper helper(std::move(table));
    DWORD error = 0;
    auto process = helper.RunProcess(kstest::sampleTaskPath().c_str(), L"--exit 0", &error, 1, nullptr, nullptr, 0);
    EXPECT_FALSE(process) << "started without the privilege";
    EXPECT_TRUE(log.contains(L"AdjustTokenPrivileges failed. ErrorCode: 1300")) << kstest::narrowForReport(log.text());
}

// A running sample-task plays the user's shell; the account functions name its owner.
class ShellContext : public UserContext {
protected:
    void SetUp() override
    {
        UserContext::SetUp();
        setString(kWinlogon, L"Shell", L"C:\\windows\\SAMPLE-TASK.EXE");
        std::wstring cmdline = L"\"" + kstest::sampleTaskPath() + L"\" --sleep 60000";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(::CreateProcessW(nullptr, cmdline.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &pi));
        m_shell.adopt(pi);
    }
    void TearDown() override
    {
        if (m_shell.process) {
            ::TerminateProcess(m_shell.process.get(), 0);
            kstest::waitForExit(m_shell.process.get());
        }
        UserContext::TearDown();
    }
    Keelwork::unique_process_information m_shell;
};

TEST_F(ShellContext, ShellOfTheNamedUserLendsItsToken)
{
    FakeSessions::userOfAnyToken = L"alice";
    kstest::ReportFile report;
    std::wstring params = L"--report " + report.path();
    kstest::LogCapture log;
    CCPHelper helper(tableWithFakeSessions());
    DWORD error = 0xFFFF;
    auto process = helper.RunProcess(kstest::sampleTaskPath().c_str(), params.c_str(), &error, 1, L"ALICE", nullptr, 0);
    ASSERT_TRUE(process) << "error " << error;
    EXPECT_EQ(error, 0u);
    ASSERT_TRUE(kstest::waitForExit(process.get()));
    EXPECT_EQ(report.firstRecord()[L"cmdline"], L"\"" + kstest::sampleTaskPath() + L"\" " + params);
    wchar_t expected[64];
    _snwprintf(expected, 64, L"The Current Shell PID = %lu", m_shell.processId);
    EXPECT_TRUE(log.contains(expected)) << log.text();
}

} // namespace
