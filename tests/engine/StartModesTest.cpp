// The engine's start-up modes on the scratch registry (installing, out-of-box, auto-maintenance,
// connected standby, retail demo, safe mode), each entered, seen at work and on the board, and left.
#include "ExpectLogged.h"
#include "EngineLoopFixture.h"
#include "StateKeyWait.h"

#include "platform/BootMode.h"
#include "platform/RetailDemoModeChecker.h"
#include "engine/RunningEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

using namespace kstest;
using KsState::EnginePhase;
using KsState::EngineReason;

constexpr const wchar_t* kOemKey = L"SOFTWARE\\Kestrel\\ZARN\\Oem";
constexpr const wchar_t* kProductKey = L"SOFTWARE\\Kestrel\\ZARN";
constexpr const wchar_t* kAMResponse = L"Response.Auto.Maintenance.Mode";
constexpr const wchar_t* kMarker = L"Marker";
constexpr uint32_t kHour = 3600;

class StartModes : public EngineLoop {
protected:
    void SetUp() override
    {
        EngineLoop::SetUp();
        ASSERT_EQ(m_monitors->subscribe(kAMResponse, [this](std::shared_ptr<Message> m) -> uint32_t {
            if (m && m->alias() == kMarker)
                ::SetEvent(m_marker.get());
            else
                ++m_responses;
            return 0;
        }), Tessel::MODULE_STATUS_SUCCESS);
    }

    static void requestAM(bool on)
    {
        ASSERT_TRUE(Keelwork::engine::switchRunningEngineAMMode(on));
    }

    // The responses that came, once `expected` of them have (bounded), before a marker the test
    // publishes under the same name: the bus hands one subscription its messages in the order
    // they were published, and the engine thread has finished what it was doing, so every
    // response the engine gave by then is counted.
    int responses(int expected = 0)
    {
        awaitTrue([&] { return m_responses.load() >= expected; });
        send(WM_NULL);
        ::ResetEvent(m_marker.get());
        EXPECT_EQ(m_monitors->publish(Message::create(kAMResponse, kMarker, L"")), Tessel::MODULE_STATUS_SUCCESS);
        EXPECT_EQ(::WaitForSingleObject(m_marker.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the marker was lost";
        return m_responses.exchange(0);
    }

    std::atomic<int> m_responses{0};
    Keelwork::unique_event m_marker{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// Safe mode, or a restart pending since an update, suspends the engine for its life, as its board
// says: neither the start-delay timer, a trigger, a pump message nor an auto-maintenance request
// runs the due task, and an out-of-box start does not lift it.
struct SuspendCase {
    const char* label;
    bool safeMode;
    bool outOfBox;
};

void PrintTo(const SuspendCase& row, std::ostream* out)
{
    *out << row.label;
}

class Suspended : public StartModes, public ::testing::WithParamInterface<SuspendCase> {};

TEST_P(Suspended, StartRunsNothingWhateverTheTimersSay)
{
    const SuspendCase& c = GetParam();
    std::optional<SafeBoot> safe;
    if (c.safeMode)
        safe.emplace();
    else
        setDword(L"SOFTWARE\\Kestrel\\Volatile\\ZARN", L"IsRestartPending", 1);
    if (c.outOfBox) {
        setDword(kOemKey, L"oobemode", 1);
        setDword(kSettingsKey, L"oobe_wait", 0);  // no out-of-box hold of its own
    }
    storeTask({.name = L"held"});
    const uint32_t dueAt = storedNextRun(L"held");
    LogCapture log;
    start();
    kick();
    expectPhase(EnginePhase::suspended, c.safeMode ? EngineReason::safeMode : EngineReason::restartPending);
    triggerAndPump();
    signalNewTask();
    requestAM(true);
    EXPECT_EQ(responses(1), 1) << "a refused request is answered at once";
    EXPECT_FALSE(ran(L"held", dueAt));
    EXPECT_TRUE(log.contains(c.safeMode ? L"It is some kind of safe mode boot. Scheduler will SUSPEND ALL EXECUTION"
                                        : L"reboted. Scheduler will SUSPEND ALL EXECUTION"));
}

INSTANTIATE_TEST_SUITE_P(Start, Suspended,
                         ::testing::Values(SuspendCase{"SafeMode", true, false},
                                           SuspendCase{"RestartPending", false, false},
                                           SuspendCase{"SafeModeOutOfBox", true, true},
                                           SuspendCase{"RestartPendingOutOfBox", false, true}),
                         [](const auto& info) { return std::string(info.param.label); });

// While the product installs, the engine waits (its board gives the reason); the installer's
// message starts it at once.
TEST_F(StartModes, InstallationHoldsTheStartUntilTheInstallerCompletes)
{
    setDword(kSettingsKey, L"winrestart_wait", 300);
    setString(L"SOFTWARE\\KestrelInstaller", L"installmedia", L"D:\\");
    storeTask({.name = L"after-install", .params = L"--set-event " + ranEventName()});
    LogCapture log;
    start();
    expectPhase(EnginePhase::startDelay, EngineReason::installing, 300);
    triggerAndPump();
    EXPECT_EQ(::WaitForSingleObject(m_ran.get(), 0), DWORD{WAIT_TIMEOUT}) << "ran during the installation";
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_INFORMATION,
                  L"Product is currently getting installed, will run scheduler after install");
    ASSERT_EQ(m_monitors->publish(Message::create(L"Core.Installer.Complete", L"Installer", L"{}")),
              Tessel::MODULE_STATUS_SUCCESS);
    EXPECT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the install end did not start it";
}

// The OEM set-up still running ("OOBEDone" 0) holds the whole start, the board's reason while it
// lasts, and goes on when the value changes. The installer may finish meanwhile: the completion is
// kept, and the start does not wait out the hour of its reboot delay.
TEST_F(StartModes, OemSetUpHoldsTheStartAndAnInstallerCompletionMeanwhileIsKept)
{
    setDword(kSettingsKey, L"winrestart_wait", 3600);
    setString(L"SOFTWARE\\KestrelInstaller", L"installmedia", L"D:\\");
    setDword(kOemKey, L"OOBEDone", 0);
    storeTask({.name = L"after-install", .params = L"--set-event " + ranEventName()});
    LogCapture log;
    launch();
    ASSERT_TRUE(awaitLogged(log, L"Found OOBEDONE=0; Waiting for OOBEDONE=1"));
    EXPECT_EQ(::WaitForSingleObject(m_started.get(), 0), DWORD{WAIT_TIMEOUT}) << "started during the OEM set-up";
    EXPECT_EQ(engineState().phase, EnginePhase::starting);
    EXPECT_EQ(engineState().reason, EngineReason::oemSetUp);
    // Told to other processes before the loop's first step.
    EXPECT_EQ(awaitMirroredState([](const auto& key) { return key.present; }, kBoundMs).engine, engineState());
    ASSERT_EQ(m_monitors->publish(Message::create(L"Core.Installer.Complete", L"Installer", L"{}")),
              Tessel::MODULE_STATUS_SUCCESS);
    EXPECT_TRUE(awaitLogged(log, L"Received message on Install Complete")) << "the completion was dropped";
    setDword(kOemKey, L"OOBEDone", 1);
    EXPECT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the start waited out its delay";
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"Found OOBEDONE != 0, continuing with OOBEMODE check");
}

// A stop while the OEM set-up holds the start ends the thread at once, before OOBE mode is read.
TEST_F(StartModes, StopDuringTheOemSetUpEndsTheStart)
{
    setDword(kOemKey, L"OOBEDone", 0);
    LogCapture log;
    launch();
    ASSERT_TRUE(awaitLogged(log, L"Found OOBEDONE=0; Waiting for OOBEDONE=1"));
    const ULONGLONG asked = ::GetTickCount64();
    stop();
    EXPECT_LT(::GetTickCount64() - asked, 10000u) << "the stop waited for the OEM set-up";  // a hang check
    EXPECT_FALSE(log.contains(L"Reset m_bIsOobeMode to FALSE")) << "OOBE mode was read after the stop";
}

// OOBE mode with a global wait of 14400 s and one task with its own 600 s: the engine starts after
// 600 s (or when a task with a shorter wait appears), that task runs from then on, the other not
// before 14400 s, and OOBE mode then ends.
// "oobemode" is read once: the next start is a normal one.
TEST_F(StartModes, OutOfBoxStartHoldsEachTaskForItsOwnWait)
{
    TestClock clock;
    const uint32_t t0 = clock.value;
    setDword(kOemKey, L"OOBEDone", 1);
    setDword(kOemKey, L"oobemode", 1);
    setDword(kSettingsKey, L"oobe_wait", 14400);
    setDword(L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler_oobe_wait", L"early", 600);
    storeTask({.name = L"early", .nextRun = t0 - 5});
    storeTask({.name = L"late", .nextRun = t0 - 5});
    LogCapture log;
    start();
    ASSERT_TRUE(awaitLogged(log, L"Setting a timer of 600000 milli-seconds. The scheduler will kick off after this time"));
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_WARNING, L"WE ARE IN FACTORY MODE. TS will be halted");
    Keelwork::CRegKey oem;
    DWORD mode = 0;
    ASSERT_EQ(oem.open(HKEY_LOCAL_MACHINE, kOemKey, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
    EXPECT_EQ(oem.getDwordValue(L"oobemode", mode), ERROR_FILE_NOT_FOUND) << "oobemode was not deleted";

    // A task first seen during the hold gets its own wait, and its refresh starts the engine.
    clock.value = t0 + 300;
    setDword(L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler_oobe_wait", L"newcomer", 200);
    storeTask({.name = L"newcomer", .nextRun = t0 - 5});
    signalNewTask();
    // Its completion too: the clock moves next, and must not move under the run.
    EXPECT_EQ(awaitMessages({L"TaskScheduler.Task.LaunchAttempt.newcomer {\"name\":\"newcomer\"}", completed(L"newcomer")}),
              std::set<std::wstring>{});
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL,
                  L"We will allow the triger() to work as a less oobe_wait time task may has been added");

    const struct {
        uint32_t at;
        bool early, late;
    } steps[] = {{599, false, false}, {600, true, false}, {14399, true, false}, {14400, true, true}};
    for (const auto& step : steps) {
        clock.value = t0 + step.at;
        if (step.at == 599)
            kick();  // the start-delay timer, here a second early
        triggerAndPump();
        EXPECT_EQ(ran(L"early", t0 - 5), step.early) << "at " << step.at << " s";
        EXPECT_EQ(ran(L"late", t0 - 5), step.late) << "at " << step.at << " s";
    }
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_INFORMATION, L"Reset m_bIsOobeMode to FALSE");

    stop();
    LogCapture again;
    start();
    EXPECT_FALSE(again.contains(L"WE ARE IN FACTORY MODE")) << "the second start was an out-of-box start again";
}

// A log-on during a log-on task's OOBE hold is counted; when the hold ends the task is queued and
// runs with the next pump.
TEST_F(StartModes, LogonDuringTheOutOfBoxHoldIsCountedAndRunsAfterIt)
{
    TestClock clock;
    const uint32_t t0 = clock.value;
    setDword(kOemKey, L"oobemode", 1);
    setDword(kSettingsKey, L"oobe_wait", 600);
    storeTask({.name = L"onlogon", .type = KS_TASK_LOGON, .nextRun = 0, .freq = 1});
    start();
    expectPhase(EnginePhase::startDelay, EngineReason::outOfBoxWait, 600);
    send(Keelwork::engine::kLogonMessage);
    EXPECT_EQ(storedNextRun(L"onlogon"), 1u) << "the log-on was not counted";
    send(Keelwork::engine::kPumpMessage);
    EXPECT_EQ(storedNextRun(L"onlogon"), 1u) << "ran during its hold";  // a run resets the count
    clock.value = t0 + 600;
    kick();
    send(Keelwork::engine::kPumpMessage);
    EXPECT_EQ(awaitMessages({L"TaskScheduler.Task.LaunchAttempt.onlogon {\"name\":\"onlogon\"}"}),
              std::set<std::wstring>{})
        << "did not run once its hold was over";
}

// A request the engine cannot honour, and a stop with no run, are each answered once at once.
class AutoMaintenanceAnswer : public StartModes, public ::testing::WithParamInterface<const char*> {};

TEST_P(AutoMaintenanceAnswer, IsGivenOnceAndRunsNothing)
{
    const std::string mode = GetParam();
    if (mode == "disabled")
        setDword(kSettingsKey, L"enable_am_task", 0);
    if (mode == "not-started")
        setDword(kSettingsKey, L"winrestart_wait", 300);
    TestClock clock;
    storeTask({.name = L"window", .nextRun = clock.value + kHour});
    start();
    if (mode == "not-started")
        expectPhase(EnginePhase::startDelay, EngineReason::none, 300);
    else
        kick();
    responses();
    requestAM(mode != "stop");
    EXPECT_EQ(responses(1), 1);
    EXPECT_FALSE(ran(L"window", clock.value + kHour));
}

INSTANTIATE_TEST_SUITE_P(Refused, AutoMaintenanceAnswer, ::testing::Values("disabled", "not-started", "stop"),
                         [](const auto& info) {
                             std::string name = info.param;
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

// Connected standby: the start does not trigger, a timer hit re-arms a week ahead and runs
// nothing; an auto-maintenance run does not ask and runs the task.
TEST_F(StartModes, ConnectedStandbyRunsNothingUntilAnAutoMaintenanceRun)
{
    m_monitors.answer(names::kConnectedStandbyRequest, names::kConnectedStandbyOn);
    storeTask({.name = L"standby"});
    const uint32_t dueAt = storedNextRun(L"standby");
    LogCapture log;
    start();
    kick();
    expectPhase(EnginePhase::connectedStandby);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"CS mode, don't trigger the task");
    fireTimer();
    EXPECT_TRUE(awaitLogged(log, L"Successfully set waitable timer. Seconds:604800"));
    EXPECT_FALSE(ran(L"standby", dueAt));
    requestAM(true);
    EXPECT_EQ(awaitMessages({completed(L"standby")}), std::set<std::wstring>{});
}

// Retail demo mode, as test automation's override values decide it; without a decision the
// platform is asked, which under this test's system answers no.
TEST_F(StartModes, RetailDemoProbeFollowsTheAutomationValues)
{
    const struct {
        int check, inAutomation;  // -1: absent
        bool demo;
        const wchar_t* logged;
    } rows[] = {
        {-1, -1, false, L"GetActivationFactory failed"},
        {0, 1, false, L"Automation mode check registry present. Value: 0x0."},
        {1, 1, true, L"Automation mode check registry present. Value: 0x1."},
        {1, 0, false, L"Automation mode check registry present. Value: 0x1."},
        {1, 2, false, L"Undefined ReailModeInAutomation value 2"},
        {1, -1, false, L"Failed to read ReailModeInAutomation value"},
    };
    for (const auto& row : rows) {
        Keelwork::CRegKey key;
        ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, kProductKey, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
        key.deleteValue(L"AutomationModeCheck");
        key.deleteValue(L"RetailModeInAutomation");
        if (row.check >= 0)
            key.setDwordValue(L"AutomationModeCheck", static_cast<DWORD>(row.check));
        if (row.inAutomation >= 0)
            key.setDwordValue(L"RetailModeInAutomation", static_cast<DWORD>(row.inAutomation));
        LogCapture log;
        EXPECT_EQ(KsPlatform::checkForRetailDemoMode(), row.demo) << row.check << "/" << row.inAutomation;
        EXPECT_TRUE(log.contains(row.logged)) << narrowForReport(row.logged);
    }
}

} // namespace
