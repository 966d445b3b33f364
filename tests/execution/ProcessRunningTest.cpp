// IsProcessRunning against a real program run under a name of the test's choosing, and with the
// process queries failing one at a time.
#include "RealApiTable.h"
#include "SampleTaskReport.h"

#include "ExpectLogged.h"
#include "execution/ProcessRunning.h"

#include <gtest/gtest.h>

#include <cwctype>

namespace {

using ETWLogging::LOG_LEVEL_ERROR;
using ETWLogging::LOG_LEVEL_NORMAL;

// sample-task.exe copied under its own name, started, and known to be running its own code.
class ProbeProgram {
public:
    ProbeProgram()
    {
        std::wstring readyName = L"ks-probe-ready-" + std::to_wstring(::GetCurrentProcessId());
        Keelwork::unique_event ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
        if (!ready || !::CopyFileW(kstest::sampleTaskPath().c_str(), m_file.path().c_str(), FALSE))
            return;
        std::wstring commandLine = L"\"" + m_file.path() + L"\" --set-event " + readyName + L" --sleep 10000";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        if (!::CreateProcessW(m_file.path().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &started))
            return;
        m_process.adopt(started);
        // Once it sets the event its modules are loaded and its name can be read.
        HANDLE waits[] = {ready.get(), m_process.process.get()};
        m_ready = ::WaitForMultipleObjects(2, waits, FALSE, 10000) == WAIT_OBJECT_0;
    }
    ~ProbeProgram()
    {
        if (m_process.process) {
            ::TerminateProcess(m_process.process.get(), 0);
            kstest::waitForExit(m_process.process.get());
        }
    }
    ProbeProgram(const ProbeProgram&) = delete;
    ProbeProgram& operator=(const ProbeProgram&) = delete;

    bool ready() const { return m_ready; }
    std::wstring name() const { return m_file.fileName(); }

private:
    kstest::TempFile m_file{L"ks-probe", L".exe"};
    Keelwork::unique_process_information m_process;
    bool m_ready = false;
};

std::wstring upperCase(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

TEST(ProcessRunning, FindsAProgramByEitherNameInAnyCase)
{
    ProbeProgram probe;
    ASSERT_TRUE(probe.ready());
    kstest::LogCapture log;
    EXPECT_TRUE(KsExecution::IsProcessRunning(upperCase(probe.name()).c_str(), nullptr));
    EXPECT_LOGGED(log, LOG_LEVEL_NORMAL, L"bbProcessRunning_p:1, ");
    EXPECT_TRUE(KsExecution::IsProcessRunning(L"", probe.name().c_str()));
    EXPECT_TRUE(KsExecution::IsProcessRunning(L"ks-nobody-runs-this.exe", probe.name().c_str()));
    EXPECT_FALSE(KsExecution::IsProcessRunning(L"ks-nobody-runs-this.exe", L""));
    EXPECT_LOGGED(log, LOG_LEVEL_NORMAL, L"bbProcessRunning_p:0, ");
}

// Each fails with a distinct error so the log line shows the error was carried through.
BOOL WINAPI failEnumProcesses(DWORD*, DWORD, DWORD*) { ::SetLastError(ERROR_NOT_ENOUGH_MEMORY); return FALSE; }
HANDLE WINAPI failOpenProcess(DWORD, BOOL, DWORD) { ::SetLastError(ERROR_ACCESS_DENIED); return nullptr; }
BOOL WINAPI failEnumProcessModules(HANDLE, HMODULE*, DWORD, DWORD*) { ::SetLastError(ERROR_PARTIAL_COPY); return FALSE; }
DWORD WINAPI failGetModuleBaseName(HANDLE, HMODULE, LPWSTR, DWORD) { ::SetLastError(ERROR_INVALID_HANDLE); return 0; }

struct FailureCase {
    const char* name;
    void (*substitute)(CKsWin32APIBase&);
    const wchar_t* line; // %u takes this program's process id
};

class ProcessRunningFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ProcessRunningFailure, SkipsWhatCannotBeReadAndLogsIt)
{
    auto api = kstest::realApiTableCopy();
    GetParam().substitute(*api);
    const std::wstring self = kstest::programPath();
    const std::wstring selfName = self.substr(self.find_last_of(L'\\') + 1);
    wchar_t line[200] = {};
    swprintf(line, 200, GetParam().line, static_cast<unsigned>(::GetCurrentProcessId()));

    kstest::LogCapture log;
    // This program runs for sure, yet cannot be recognised once its query fails.
    EXPECT_FALSE(KsExecution::IsProcessRunning(*api, selfName.c_str(), nullptr));
    EXPECT_LOGGED(log, LOG_LEVEL_ERROR, line);
    EXPECT_LOGGED(log, LOG_LEVEL_NORMAL, L"bbProcessRunning_p:0, ");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProcessRunningFailure,
    ::testing::Values(
        FailureCase{"EnumProcesses", [](CKsWin32APIBase& a) { a.pEnumProcesses = failEnumProcesses; },
                    L"EnumProcesses failed. ErrorCode: 8"},
        FailureCase{"OpenProcess", [](CKsWin32APIBase& a) { a.pOpenProcess = failOpenProcess; },
                    L"Openprocess for PID: %u failed with error: 5"},
        FailureCase{"EnumProcessModules", [](CKsWin32APIBase& a) { a.pEnumProcessModules = failEnumProcessModules; },
                    L"EnumProcessModules for PID: %u failed with error: 299"},
        FailureCase{"GetModuleBaseName", [](CKsWin32APIBase& a) { a.pGetModuleBaseNameW = failGetModuleBaseName; },
                    L"GetModuleBaseName for PID: %u failed with error: 6"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
