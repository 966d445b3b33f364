// The host driving TaskScheduler.dll: replies to its own requests over either bus hand-over, watch
// output, auto-maintenance requests answered by the engine that runs a task created over the bus,
// and life-cycle calls out of order.
// Skipped while the library is not built. The child's registry is the prefix's own, not a
// scratch key: task names carry the process id and every test deletes what it created.
#include "HostRun.h"
#include "LogFileReader.h"
#include "StateKeyWait.h"

#include "common/KnownFolder.h"
#include "common/UniqueHandle.h"
#include "common/WinInclude.h"
#include "execution/TrustedFileList.h"
#include "state/StateKey.h"

#include <knownfolders.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <ostream>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

namespace {

using modhosttest::expectEnded;
using modhosttest::HostRun;
using modhosttest::HostScratch;

std::wstring schedulerPath()
{
    return modhosttest::binFolder() + L"TaskScheduler.dll";
}

// An hourly task running sample-task.exe, first due `dueIn` seconds from now; `extra` members
// follow the schedule's.
std::string sampleTaskPayload(const std::string& name, int dueIn, const std::string& extra = "")
{
    std::string program;
    for (wchar_t c : modhosttest::binFolder() + L"sample-task.exe")
        program += c == L'\\' ? std::string("\\\\") : std::string(1, static_cast<char>(c));
    return "{\"name\":\"" + name + "\",\"taskType\":\"scheduled\",\"triggerType\":\"process\",\"taskTrigger\":\"" +
           program + "\",\"cmdParams\":\"--exit 0\",\"nextRun\":\"" + std::to_string(time(nullptr) + dueIn) +
           "\",\"defaultFreq\":\"3600\"" + extra + "}";
}

// The module opens buses of its own (InitializeModule, and one per change broadcast) and finds
// MessageBus.dll in the suite's install folder, as an installed suite registers it. Registered
// here for the child when the prefix has none, and removed again afterwards.
constexpr const wchar_t* kInstallKey = L"SOFTWARE\\KESTREL\\HEARTHC";
constexpr const wchar_t* kInstallDirValue = L"Install Dir";

class SchedulerHostBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(GetFileAttributesW(schedulerPath().c_str()), INVALID_FILE_ATTRIBUTES) << "TaskScheduler.dll is not built";
        DWORD size = 0;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, kInstallKey, kInstallDirValue, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS) {
            std::wstring folder = modhosttest::binFolder();
            folder.pop_back();
            ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kInstallKey, kInstallDirValue, REG_SZ, folder.c_str(),
                                      static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
                      ERROR_SUCCESS);
            m_registeredInstallDir = true;
        }
    }

    void TearDown() override
    {
        if (m_registeredInstallDir)
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kInstallKey, kInstallDirValue);
    }

    HostRun runWith(const wchar_t* init, const std::string& scenario) const
    {
        return m_scratch.run({L"--module", schedulerPath(), L"--init", init, L"--standby", L"off",
                              L"--notification-state", L"normal"},
                             &scenario);
    }

    HostScratch m_scratch;
    bool m_registeredInstallDir = false;
};

// The module initialisation variant, "v1" or "v2", is the parameter.
class SchedulerHost : public SchedulerHostBase, public ::testing::WithParamInterface<const wchar_t*> {
protected:
    HostRun run(const std::string& scenario) const { return runWith(GetParam(), scenario); }
};

// The module also publishes a plain copy of each reply for ordinary subscribers; the host has the
// reply itself, so the copy is neither printed again nor a second match for expect. The watch
// prints only what it names: not the engine's own maintenance answer, and not the host's request,
// which was printed once as sent.
TEST_P(SchedulerHost, ReplyToTheHostsOwnRequestCountsOnce)
{
    HostRun result = run("watch TaskScheduler\\..*\n"
                         "request TaskScheduler.Task.Delete 5000 not json\n"
                         "expect TaskScheduler\\.Task\\.Deleted 5000 {\"status\":false}\n"
                         "expect TaskScheduler\\.Task\\.Deleted 500\n");
    expectEnded(result, 1);
    EXPECT_NE(result.err.find("the scenario failed at line 4"), std::string::npos) << result.err;
    EXPECT_NE(result.lineWith({"reply", "TaskScheduler.Task.Deleted"}), "") << result.out;
    EXPECT_EQ(result.lineWith({"message", "TaskScheduler.Task.Deleted"}), "") << result.out;
    EXPECT_EQ(result.lineWith({"Response.Auto.Maintenance.Mode", "from TaskScheduler"}), "") << result.out;
    EXPECT_EQ(result.lineWith({"from modhost"}), "") << result.out;
}

// The prefix's own registry, as an installed suite has it: sample-task.exe listed as trusted, and
// a prompt start whether or not this is the first start since the Wine server began. Both values
// are removed again.
class TrustedSampleTask {
public:
    TrustedSampleTask()
    {
        EXPECT_EQ(KsExecution::trustFile((modhosttest::binFolder() + L"sample-task.exe").c_str(), &m_digest), 0u);
        const DWORD zero = 0;
        EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kOverrideKey, L"winrestart_wait", REG_DWORD, &zero, sizeof zero),
                  ERROR_SUCCESS);
    }
    ~TrustedSampleTask()
    {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\Platform\\TrustedFiles", m_digest.c_str());
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kOverrideKey, L"winrestart_wait");
    }

private:
    static constexpr const wchar_t* kOverrideKey = L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler";
    std::wstring m_digest;
};

INSTANTIATE_TEST_SUITE_P(Init, SchedulerHost, ::testing::Values(L"v1", L"v2"),
                         [](const auto& info) { return std::string(info.param == std::wstring(L"v1") ? "V1" : "V2"); });

// A host that calls in the wrong order: the process ends normally, with no engine thread left
// running into the unloaded library (which would crash it or hold it past its bound).
struct OrderCase {
    const char* label;
    const char* scenario;
    const char* calls[4];  // the host's reports, in this order
    const char* never;     // a report that must not appear
};

void PrintTo(const OrderCase& value, std::ostream* os)
{
    *os << value.label;
}

class WrongOrderHost : public SchedulerHostBase, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(WrongOrderHost, EndsNormallyWithNoThreadLeftBehind)
{
    HostRun result = runWith(L"v2", GetParam().scenario);
    expectEnded(result, 0);
    int at = -1;
    for (const char* call : GetParam().calls) {
        if (!call)
            break;
        const int next = result.lineIndex(call, at + 1);
        ASSERT_GT(next, at) << call << " missing or out of order\n" << result.out;
        EXPECT_NE(result.lines()[next].find("MODULE_STATUS_SUCCESS"), std::string::npos) << result.lines()[next];
        at = next;
    }
    if (GetParam().never) {
        EXPECT_EQ(result.lineIndex(GetParam().never), -1) << result.out;
    }
    EXPECT_NE(result.lineWith({"threads still running in TaskScheduler's library: 0"}), "") << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Calls, WrongOrderHost,
    ::testing::Values(OrderCase{"StartTwice", "call TaskScheduler start\n",
                                {"TaskScheduler: StartModule", "TaskScheduler: StartModule", "TaskScheduler: StopModule",
                                 "TaskScheduler: DestroyModule"},
                                nullptr},
                      OrderCase{"StopTwice", "call TaskScheduler stop\n",
                                {"TaskScheduler: StopModule", "TaskScheduler: StopModule",
                                 "TaskScheduler: DestroyModule", nullptr},
                                nullptr},
                      OrderCase{"DestroyWithoutStop", "call TaskScheduler destroy\n",
                                {"TaskScheduler: StartModule", "TaskScheduler: DestroyModule", nullptr, nullptr},
                                "TaskScheduler: StopModule"}),
    [](const auto& info) { return std::string(info.param.label); });

// An auto-maintenance request or stop sent over the bus to the running engine, with a task due in
// an hour (well inside the default future-task window of twelve hours).
struct MaintenanceCase {
    const char* label;
    const char* message;
    bool runsTaskEarly;
};

void PrintTo(const MaintenanceCase& value, std::ostream* os)
{
    *os << value.label;
}

class AutoMaintenanceHost : public SchedulerHostBase,
                            public ::testing::WithParamInterface<std::tuple<const wchar_t*, MaintenanceCase>> {};

// The engine answers "Response.Auto.Maintenance.Mode" each time it sets its timer outside a
// maintenance run as well: once when it starts, once when it re-reads the created task. Those two
// are claimed first, so the response counted is the request's own.
TEST_P(AutoMaintenanceHost, RequestReachesTheEngineAndIsAnsweredOnce)
{
    const auto& [init, param] = GetParam();
    TrustedSampleTask trusted;
    const std::string name = "modhost-am-" + std::to_string(GetCurrentProcessId());
    const std::string response = "Response\\.Auto\\.Maintenance\\.Mode";
    std::string scenario = "watch TaskScheduler\\.Task\\.(LaunchAttempt|Completed)\\..*\n"
                           "watch " + response + "\n"
                           "expect " + response + " 20000\n"
                           "request TaskScheduler.Task.Create 5000 " + sampleTaskPayload(name, 3600) + "\n" +
                           "expect TaskScheduler\\.Task\\.Created 5000 \"status\":true\n"
                           "expect " + response + " 5000\n"
                           "publish " + param.message + "\n";
    if (param.runsTaskEarly)
        scenario += "expect TaskScheduler\\.Task\\.Completed\\." + name + " 20000\n";
    scenario += "expect " + response + " 20000\n"
                "absent " + response + " 2000\n"
                "request TaskScheduler.Task.Delete 5000 {\"name\":\"" + name + "\"}\n";
    HostRun result = runWith(init, scenario);
    expectEnded(result, 0);
    EXPECT_EQ(result.lineWith({"message", ("TaskScheduler.Task.LaunchAttempt." + name).c_str()}) != "",
              param.runsTaskEarly)
        << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AutoMaintenanceHost,
    ::testing::Combine(::testing::Values(L"v1", L"v2"),
                       ::testing::Values(MaintenanceCase{"Set", "Set.Auto.Maintenance.Mode", true},
                                         MaintenanceCase{"StopWithoutRun", "Stop.Auto.Maintenance.Mode", false})),
    [](const auto& info) {
        return std::string(std::get<1>(info.param).label) +
               (std::get<0>(info.param) == std::wstring(L"v1") ? "V1" : "V2");
    });

// A task asked to run now runs at once, though due only in an hour; its outcome is in its history
// after the engine restarted; Explain answers what a launch would decide on battery; the history
// goes with the task.
TEST_F(SchedulerHostBase, RunNowRunsTheTaskAndItsHistoryOutlivesARestartButNotTheTask)
{
    TrustedSampleTask trusted;
    const std::string name = "modhost-now-" + std::to_string(GetCurrentProcessId());
    const std::string task = "{\"name\":\"" + name + "\"}";
    const std::string scenario =
        "watch TaskScheduler\\.Task\\.(LaunchAttempt|Completed)\\..*\n"
        "watch Response\\.Auto\\.Maintenance\\.Mode\n"
        "expect Response\\.Auto\\.Maintenance\\.Mode 20000\n"  // the engine is up
        "request TaskScheduler.Task.Create 5000 " + sampleTaskPayload(name, 3600, ",\"batteryWise\":\"true\"") + "\n"
        "expect TaskScheduler\\.Task\\.Created 5000 \"status\":true\n"
        "request TaskScheduler.Task.RunNow 5000 " + task + "\n"
        "expect TaskScheduler\\.Task\\.RunNow\\.Response 5000 " + task.substr(0, task.size() - 1) + ",\"status\":true}\n"
        "expect TaskScheduler\\.Task\\.Completed\\." + name + " 20000\n"
        "request TaskScheduler.Task.Explain 20000 {\"name\":\"" + name + "\",\"assume\":{\"battery\":true}}\n"
        "expect TaskScheduler\\.Task\\.Explain\\.Response 20000 "
        "\"ifDueNow\":{\"decision\":\"defer\",\"reason\":\"battery\",\"code\":0,\"delay\":3600}\n"
        "call TaskScheduler stop\n"
        "call TaskScheduler start\n"
        "request TaskScheduler.Task.History 5000 " + task + "\n"
        "expect TaskScheduler\\.Task\\.History\\.Response 5000 \"event\":\"launched\",\"result\":0,\"exitCode\":0\n"
        "request TaskScheduler.Task.Delete 5000 " + task + "\n"
        "expect TaskScheduler\\.Task\\.Deleted 5000 \"status\":true\n"
        "request TaskScheduler.Task.History 5000 " + task + "\n"
        "expect TaskScheduler\\.Task\\.History\\.Response 5000 \"status\":false,\"error\":\"No task of that name is stored.\"\n";
    HostRun result = runWith(L"v2", scenario);
    expectEnded(result, 0);
    EXPECT_NE(result.lineWith({"message", ("TaskScheduler.Task.LaunchAttempt." + name).c_str()}), "") << result.out;
}

// A host killed while its engine runs leaves the state key telling what the engine last knew, and
// a reader sees that its writer is gone.
TEST_F(SchedulerHostBase, KilledHostsStateReadsWithItsOwnerGone)
{
    HostRun result;
    std::thread host([&] { result = runWith(L"v2", "absent Never\\.Comes 50000\n"); });
    const KsState::MirroredState live = kstest::awaitMirroredState(
        [](const KsState::MirroredState& state) { return state.present && state.ownerRunning; },
        modhosttest::kRunBoundMs / 2);
    Keelwork::unique_handle process(live.ownerRunning ? OpenProcess(PROCESS_TERMINATE, FALSE, live.ownerPid) : nullptr);
    if (process)
        TerminateProcess(process.get(), 9);
    host.join();
    ASSERT_TRUE(process) << "no running host told its state\n" << result.out;
    EXPECT_EQ(result.exitCode, 9u);
    KsState::MirroredState after;
    ASSERT_EQ(KsState::readMirroredState(after), ERROR_SUCCESS);
    EXPECT_TRUE(after.present);
    EXPECT_EQ(after.ownerPid, live.ownerPid);
    EXPECT_FALSE(after.ownerRunning);
    EXPECT_NE(after.engine.phase, KsState::EnginePhase::stopped);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, KsState::kStateKeyPath, KEY_WOW64_64KEY, 0);
}

// With function names on (log.ini Options bit 32), the engine's lines carry the functions the log
// contract gives them, not those of the helpers that write them now. The settings are the module's
// own log folder's for this run only; of its logs only what this run added is read.
TEST_F(SchedulerHostBase, LogLinesNameTheContractsFunctions)
{
    namespace fs = std::filesystem;
    std::wstring programData;
    ASSERT_TRUE(Keelwork::knownFolderPath(FOLDERID_ProgramData, programData));
    const fs::path folder = programData + L"\\Kestrel\\KSLOGS\\TaskScheduler\\TaskScheduler";
    const fs::path ini = folder / L"log.ini";
    fs::create_directories(folder);
    ASSERT_FALSE(fs::exists(ini)) << "the module's log settings are someone else's";
    std::map<fs::path, size_t> before;  // chars of each log the run may add to
    for (const auto& file : fs::directory_iterator(folder))
        before[file.path()] = kstest::readUtf16File(file.path().wstring()).size();
    const bool configured = WritePrivateProfileStringW(L"Config", L"Severity", L"1", ini.c_str()) &&
                            WritePrivateProfileStringW(L"Config", L"Options", L"32", ini.c_str());
    // A start and a stop: the engine's thread switches maintenance off as it ends.
    const HostRun result = runWith(L"v2", "echo started\n");
    std::error_code ignored;
    fs::remove(ini, ignored);
    ASSERT_TRUE(configured);
    expectEnded(result, 0);
    std::wstring log;
    for (const auto& file : fs::directory_iterator(folder))
        if (file.path().extension() == L".log") {
            const std::wstring text = kstest::readUtf16File(file.path().wstring());
            log += text.substr(std::min(before[file.path()], text.size()));  // a new file: all of it
        }
    for (const wchar_t* line : {L"CKsTaskScheduler::SetAMMode()]$ CKsTaskScheduler::SetAMMode is called",
                                L"CKsTaskScheduler::TSThread()]$ EXIT Event set",
                                L"CKsTaskScheduler::_Init()]$ Intrenal window handle",
                                L"CKsTaskScheduler::subscribeInstaller()]$ Subscribed for Install Complete",
                                L"CKsTaskScheduler::createObjects()]$ Waitable timer:",
                                L"CKsTaskScheduler::InitialKickStart()]$ Setting a timer of",
                                L"CKsTaskManager::GatherAllTasks()]$ Getting ready to load all tasks"})
        EXPECT_NE(log.find(line), std::wstring::npos) << kstest::narrowForReport(line);
}

} // namespace
