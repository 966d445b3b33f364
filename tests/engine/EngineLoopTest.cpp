// The engine thread on the scratch registry: its message loop, a restart asked for by the update
// task, suspend and resume, boot tasks, a stop in a long task wait, and the JSON of its reports.
#include "ExpectLogged.h"
#include "EngineLoopFixture.h"
#include "SampleTaskReport.h"

#include "message/JSONFormatter.h"
#include "store/TaskHistory.h"
#include "store/TaskName.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <tuple>

namespace {

using namespace kstest;

// A WM_QUIT ends only one draining of the engine's queue: a message queued behind it while the
// engine was busy with a task is still handled.
TEST_F(EngineLoop, QuitMessageInTheEnginesQueueDoesNotStopIt)
{
    storeTask({.name = L"busy", .params = L"--sleep 1500"});
    storeTask({.name = L"onlogon", .type = KS_TASK_LOGON, .nextRun = 0, .freq = 1});
    start();
    ASSERT_EQ(awaitMessages({L"TaskScheduler.Task.LaunchAttempt.busy {\"name\":\"busy\"}"}), std::set<std::wstring>{});
    const HWND window = engineWindow();
    ASSERT_TRUE(::PostThreadMessageW(::GetWindowThreadProcessId(window, nullptr), WM_QUIT, 0, 0));
    ASSERT_TRUE(::PostMessageW(window, Keelwork::engine::kLogonMessage, 0, 0));
    EXPECT_EQ(awaitMessages({L"TaskScheduler.Task.LaunchAttempt.onlogon {\"name\":\"onlogon\"}"}),
              std::set<std::wstring>{})
        << "the engine stopped on WM_QUIT";
}

// An update that leaves a restart pending suspends the engine for the rest of the batch: the task
// queued behind the update task does not run, now or on a later pump message.
TEST_F(EngineLoop, RestartPendingAfterTheUpdateTaskSuspendsTheRestOfTheBatch)
{
    TestClock clock;  // held still, so no timer brings the batch back on its own
    setDword(KsStore::kSchedulerKeyPath, L"idle_wait", 0);  // the update task would wait for an idle user
    storeTask({.name = L"ksupdtsk", .params = L"--set-event " + ranEventName() + L" --sleep 1000",
               .priority = KS_PRIORITY_REALTIME});
    storeTask({.name = L"behind", .priority = KS_PRIORITY_LOW});
    const uint32_t dueAt = storedNextRun(L"behind");
    this->start();
    ::PostMessageW(engineWindow(), WM_TIMER, Keelwork::engine::kStartDelayTimer, 0);
    ASSERT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the update task did not start";
    setDword(L"SOFTWARE\\Kestrel\\Volatile\\ZARN", L"IsRestartPending", 1);
    // Handled once the update task's pump call has returned.
    send(WM_NULL);
    send(Keelwork::engine::kPumpMessage);
    EXPECT_EQ(storedNextRun(L"behind"), dueAt) << "the batch went on after the update asked for a restart";
    stop();
}

// A suspend of the machine stops the engine: a trigger only logs and the pump finds nothing. The
// resume starts it again after "aftersuspend_wait" (0 here), and the due task runs; on a machine
// in factory mode the resume leaves it stopped.
class EngineResume : public EngineLoop, public ::testing::WithParamInterface<bool> {};

TEST_P(EngineResume, SuspendStopsTheEngineAndResumeStartsItAgainOutsideFactoryMode)
{
    const bool factory = GetParam();
    if (factory)
        setDword(L"SOFTWARE\\Kestrel\\ZARN\\Oem", L"facmode", 1);
    setDword(kSettingsKey, L"aftersuspend_wait", 0);
    TestClock clock;
    storeTask({.name = L"later", .params = L"--set-event " + ranEventName(), .nextRun = clock.value + 100});
    const uint32_t dueAt = storedNextRun(L"later");
    start();
    kick();
    send(WM_POWERBROADCAST, PBT_APMSUSPEND);
    clock.value = dueAt + 100;
    // A log-on triggers the engine; a started engine would queue the due task for the pump.
    send(Keelwork::engine::kLogonMessage);
    send(Keelwork::engine::kPumpMessage);
    EXPECT_EQ(storedNextRun(L"later"), dueAt) << "the suspended engine ran the task";

    send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND);
    if (factory)
        EXPECT_EQ(::WaitForSingleObject(m_ran.get(), 3000), DWORD{WAIT_TIMEOUT}) << "the resume started it";
    else
        EXPECT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the resume did not restart it";
    stop();
}

INSTANTIATE_TEST_SUITE_P(Machine, EngineResume, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Factory" : "Normal"); });

// Each test's registry is new, so every engine start here is the first since the machine booted:
// the boot tasks are counted and queued at start, and run once "winrestart_wait" has passed.
TEST_F(EngineLoop, FirstStartAfterBootRunsBootTasksAfterTheRestartWait)
{
    setDword(kSettingsKey, L"winrestart_wait", 1);
    storeTask({.name = L"atboot", .type = KS_TASK_REBOOT, .params = L"--set-event " + ranEventName(), .nextRun = 0,
               .freq = 1});
    kstest::LogCapture log;
    start();
    EXPECT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the boot task did not run";
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"Machine has just been rebooted");
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL,
                  L"Setting a timer of 1000 milli-seconds. The scheduler will kick off after this time");
}

// A stop cuts a long task's wait short at once. The wait table is taken in index order: with the
// waitable timer and the exit event both set when the engine comes back to its wait, the timer's
// action runs before the engine leaves.
TEST_F(EngineLoop, StopCutsATaskWaitShortAndATimerSetTogetherIsServedFirst)
{
    storeTask({.name = L"busy", .params = L"--sleep 30000"});
    start();
    ASSERT_EQ(awaitMessages({L"TaskScheduler.Task.LaunchAttempt.busy {\"name\":\"busy\"}"}), std::set<std::wstring>{});
    fireTimer();
    LogCapture log;
    const ULONGLONG asked = ::GetTickCount64();
    stop();  // cuts the task wait short; the engine then finds both set
    EXPECT_LT(::GetTickCount64() - asked, 10000u) << "the stop waited for the task";  // a hang check
    endSampleTasks();
    const std::wstring text = log.text();
    const size_t hit = text.find(L"Waitable timer HIT");
    const size_t exit = text.find(L"EXIT Event set. Task Scheduler will now exit...");
    ASSERT_NE(exit, std::wstring::npos);
    EXPECT_LT(hit, exit) << "the exit was taken before the timer";
}

// A task's program is read ahead of its due time, and the file is free again once the step that was
// due is over, whether it launched the task or a full-screen application held it: the hold is on
// the board only after the file went. Read or not, the task runs as it did (the other tests).
class ReadAhead : public EngineLoop, public ::testing::WithParamInterface<bool> {};

TEST_P(ReadAhead, ProgramIsReadBeforeItsTimeAndLetGoAfterItsStep)
{
    const bool held = GetParam();
    kstest::TempFile program(L"ks-ahead", L".exe");
    ASSERT_TRUE(::CopyFileW(sampleTaskPath().c_str(), program.path().c_str(), FALSE));
    ASSERT_TRUE(trustForTest(program.path()));
    if (held) {
        setDword(kSettingsKey, L"fullscreen_wait", 600);
        answerFullScreen(true);
    }
    start();
    kick();
    LogCapture log;
    storeTask({.name = L"ahead", .trigger = program.path(), .nextRun = Keelwork::Clock::current().now() + 2});
    signalNewTask();
    EXPECT_TRUE(awaitLogged(log, L"Reading " + program.path() + L" ahead of its launch"));
    if (held)
        ASSERT_TRUE(awaitTrue([] { return taskState(L"ahead").hold.reason == KsState::HoldReason::fullScreen; }));
    else
        ASSERT_EQ(awaitMessages({completed(L"ahead")}), std::set<std::wstring>{});
    const Keelwork::unique_handle writer(::CreateFileW(program.path().c_str(), GENERIC_WRITE,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                       nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(writer) << "still held: " << ::GetLastError();
}

INSTANTIATE_TEST_SUITE_P(Step, ReadAhead, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Held" : "Launched"); });

// Every report of a run and of a refused program is JSON that carries the task's name exactly as
// the store keeps it (A-Z lower-cased, through the ANSI code page, where a character outside it
// becomes '?'), whatever the name holds; a name that needs no escaping gives the same bytes as
// always. A backslash never gets this far: the store refuses it in a task name. The state board
// keeps, under that name, what the launch came to: the exit code, or the deferral.
struct NamedTask {
    const char* label;
    const wchar_t* name;
    bool plain;  // nothing to escape once stored
    friend void PrintTo(const NamedTask& task, std::ostream* out) { *out << task.label; }
};

class EngineReports : public EngineLoop, public ::testing::WithParamInterface<NamedTask> {};

TEST_P(EngineReports, AreJsonCarryingTheTaskNameExactly)
{
    const std::wstring refusedSuffix = L" refused";
    storeTask({.name = GetParam().name, .params = L"--exit 7"});
    storeTask({.name = GetParam().name + refusedSuffix, .trigger = L"C:\\windows\\system32\\cmd.exe",
               .params = L"/c exit 0"});
    start();
    const std::wstring ran = KsStore::TaskIdentity(GetParam().name).key();
    const std::wstring refused = ran + refusedSuffix;
    std::map<std::wstring, std::wstring> reports;  // payload by message name
    while (reports.size() < 4) {
        auto message = m_inbox.take(std::chrono::milliseconds(kBoundMs));
        if (!message)
            break;
        reports[message->name()] = message->payload();
    }
    const auto nameOnly = [](const std::wstring& name) { return L"{\"name\":\"" + name + L"\"}"; };
    const std::tuple<const wchar_t*, std::wstring, std::wstring> expected[] = {
        {L"LaunchAttempt.", ran, nameOnly(ran)},
        {L"Completed.", ran, nameOnly(ran)},
        {L"LaunchAttempt.", refused, nameOnly(refused)},
        {L"Deferred.", refused,
         L"{\"name\":\"" + refused + L"\",\"reason\":\"validation\",\"errorCode\":5,\"DeferredCode\":10,\"DeltaTime\":3600}"},
    };
    for (const auto& [topic, name, plainText] : expected) {
        const std::wstring& payload = reports[L"TaskScheduler.Task." + (topic + name)];
        Tessel::JSONFormatter json;
        std::wstring carried;
        EXPECT_TRUE(json.parse(payload) && json.getString(L"name", carried) && carried == name)
            << topic << name << ": " << payload;
        if (GetParam().plain) {
            EXPECT_EQ(payload, plainText);
        }
    }
    // The board is told right after the report goes out.
    std::optional<KsState::LaunchOutcome> launched;
    ASSERT_TRUE(awaitTrue([&] { return (launched = taskState(ran.c_str()).lastLaunch).has_value(); }));
    EXPECT_EQ(launched->result, 0u);
    EXPECT_EQ(launched->exitCode, std::optional<uint32_t>(7));
    EXPECT_FALSE(taskState(ran.c_str()).lastDeferral);
    std::optional<KsState::DeferralOutcome> deferred;
    ASSERT_TRUE(awaitTrue([&] { return (deferred = taskState(refused.c_str()).lastDeferral).has_value(); }));
    EXPECT_EQ(deferred->code, 10u);
    EXPECT_EQ(deferred->error, 5u);
    EXPECT_FALSE(taskState(refused.c_str()).lastLaunch) << "a refused program was not started";

    // The history is written right after the board is told.
    KsStore::HistoryEntry newest[2];
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(awaitTrue([&] {
            auto entries = KsStore::TaskHistory::read((i == 0 ? ran : refused).c_str()).entries;
            return !entries.empty() && ((newest[i] = entries.front()), true);
        }));
    EXPECT_EQ(newest[0].event, KsStore::HistoryEvent::launched);
    EXPECT_EQ(std::make_tuple(newest[0].exitCodeKnown, newest[0].exitCode, newest[0].time),
              std::make_tuple(true, 7u, launched->time));
    EXPECT_EQ(newest[1].event, KsStore::HistoryEvent::refused);
    EXPECT_EQ(std::make_tuple(newest[1].code, newest[1].errorCode), std::make_tuple(10u, 5u));
}

INSTANTIATE_TEST_SUITE_P(Names, EngineReports,
                         ::testing::Values(NamedTask{"Plain", L"Nightly Scan", true},
                                           NamedTask{"Quotes", L"Say \"Hi\" Now", false},
                                           NamedTask{"Tab", L"col\tumn", false},
                                           NamedTask{"ControlU0001", L"ctl\x01x", false},
                                           NamedTask{"OutsideTheBmp", L"smile \U0001F600", true}),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
