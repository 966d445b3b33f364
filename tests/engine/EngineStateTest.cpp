// The engine's state board through the real engine: each phase of the engine and each thing that
// holds a task, entered by its real transition and read from the test's thread while the engine
// runs.
#include "EngineLoopFixture.h"
#include "StateKeyWait.h"

#include "state/EngineState.h"
#include "store/TaskHistory.h"
#include "engine/RunningEngine.h"
#include "platform/BootMode.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using namespace kstest;
using KsState::currentEngineStateBoard;
using KsState::DeferralOutcome;
using KsState::EnginePhase;
using KsState::EngineReason;
using KsState::EngineState;
using KsState::holdWord;
using KsState::HoldReason;
using KsState::LaunchOutcome;
using KsState::phaseWord;
using KsState::reasonWord;
using Keelwork::engine::switchRunningEngineAMMode;
using KsState::TaskHold;
using KsState::TaskState;

constexpr const wchar_t* kSettingsKey = L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler";
constexpr const wchar_t* kOemKey = L"SOFTWARE\\Kestrel\\ZARN\\Oem";

class SafeBoot final : public KsPlatform::BootMode {
public:
    SafeBoot() { install(this); }
    ~SafeBoot() override { install(nullptr); }
    int cleanBoot() const override { return 1; }
};

EngineState engineState()
{
    auto board = currentEngineStateBoard();
    return board ? board->engine() : EngineState{};
}

TaskState taskState(const wchar_t* name)
{
    auto board = currentEngineStateBoard();
    return board ? board->read(name).second : TaskState{};
}

// A task's record changed in the store.
void change(const wchar_t* name, const std::function<void(CKsTask&)>& edit)
{
    CKsTask task(name);
    ASSERT_TRUE(task.Read());
    edit(task);
    ASSERT_TRUE(task.Write());
}

class EngineStateTest : public EngineLoop {
public:
    // What the table rows arrange.
    static void dword(const wchar_t* key, const wchar_t* value, DWORD data) { setDword(key, value, data); }
    static void text(const wchar_t* key, const wchar_t* value, const wchar_t* data) { setString(key, value, data); }
    void standbyOn()
    {
        m_monitors->unsubscribe(names::kConnectedStandbyRequest);
        answer(names::kConnectedStandbyRequest, names::kConnectedStandbyOn);
    }
    void fullScreen() { answerFullScreen(true); }
    void safeMode() { m_safe.emplace(); }

protected:
    void SetUp() override
    {
        EngineLoop::SetUp();
        m_gateName = L"Global\\ks-state-gate-" + std::to_wstring(::GetCurrentProcessId());
        m_releaseName = L"Global\\ks-state-release-" + std::to_wstring(::GetCurrentProcessId());
        m_gate.reset(::CreateEventW(nullptr, TRUE, FALSE, m_gateName.c_str()));
        m_release.reset(::CreateEventW(nullptr, TRUE, FALSE, m_releaseName.c_str()));
    }
    void TearDown() override
    {
        ::SetEvent(m_release.get());
        EngineLoop::TearDown();
    }

    // A task that runs until the test lets it go, once it told the test it runs.
    void storeGate(uint32_t nextRun, int32_t priority = KS_PRIORITY_REALTIME)
    {
        storeTask(L"gate", KS_TASK_SCHEDULED, L"--set-event " + m_gateName + L" --wait-event " + m_releaseName,
                  nextRun, 3600);
        change(L"gate", [priority](CKsTask& task) { task.nPriority = priority; });
    }
    bool gateRuns() { return ::WaitForSingleObject(m_gate.get(), kBoundMs) == WAIT_OBJECT_0; }

    std::wstring m_gateName, m_releaseName;
    Keelwork::unique_event m_gate, m_release;
    std::optional<SafeBoot> m_safe;
};

// --- The engine's phase ------------------------------------------------------------------------

struct PhaseCase {
    const char* label;
    std::function<void(EngineStateTest&)> arrange;  // before the start
    bool kick;                                      // the start delay ends
    EnginePhase phase;
    EngineReason reason;
    uint32_t until;  // seconds after `since`; 0: open-ended
};

void PrintTo(const PhaseCase& row, std::ostream* out)
{
    *out << row.label;
}

class EnginePhases : public EngineStateTest, public ::testing::WithParamInterface<PhaseCase> {};

TEST_P(EnginePhases, AreOnTheBoard)
{
    const PhaseCase& c = GetParam();
    if (c.arrange)
        c.arrange(*this);
    start();
    if (c.kick)
        kick();
    // The started event comes before the start delay is set: wait for the start to be over.
    for (DWORD waited = 0; waited < kBoundMs && engineState().phase == EnginePhase::starting; waited += 20)
        ::Sleep(20);
    const EngineState state = engineState();
    EXPECT_EQ(state.phase, c.phase) << phaseWord(state.phase);
    EXPECT_EQ(state.reason, c.reason) << reasonWord(state.reason);
    EXPECT_NE(state.since, 0u);
    EXPECT_EQ(state.until, c.until == 0 ? 0 : state.since + c.until);
    stop();
    EXPECT_EQ(engineState().phase, EnginePhase::stopped);
}

INSTANTIATE_TEST_SUITE_P(
    Board, EnginePhases,
    ::testing::Values(
        PhaseCase{"StartDelayAfterReboot",
                  [](EngineStateTest&) { EngineStateTest::dword(kSettingsKey, L"winrestart_wait", 300); }, false,
                  EnginePhase::startDelay, EngineReason::none, 300},
        PhaseCase{"StartDelayWhileInstalling",
                  [](EngineStateTest&) {
                      EngineStateTest::dword(kSettingsKey, L"winrestart_wait", 300);
                      EngineStateTest::text(L"SOFTWARE\\KestrelInstaller", L"installmedia", L"D:\\");
                  },
                  false, EnginePhase::startDelay, EngineReason::installing, 300},
        PhaseCase{"StartDelayOutOfBox",
                  [](EngineStateTest&) {
                      EngineStateTest::dword(kOemKey, L"oobemode", 1);
                      EngineStateTest::dword(kSettingsKey, L"oobe_wait", 600);
                  },
                  false, EnginePhase::startDelay, EngineReason::outOfBoxWait, 600},
        PhaseCase{"SuspendedRestartPending",
                  [](EngineStateTest&) { EngineStateTest::dword(L"SOFTWARE\\Kestrel\\Volatile\\ZARN", L"IsRestartPending", 1); },
                  true, EnginePhase::suspended, EngineReason::restartPending, 0},
        PhaseCase{"SuspendedSafeMode", [](EngineStateTest& t) { t.safeMode(); }, true, EnginePhase::suspended,
                  EngineReason::safeMode, 0},
        PhaseCase{"Running", nullptr, true, EnginePhase::running, EngineReason::none, 0},
        PhaseCase{"ConnectedStandby",
                  [](EngineStateTest& t) { t.standbyOn(); }, true, EnginePhase::connectedStandby, EngineReason::none, 0}),
    [](const auto& info) { return std::string(info.param.label); });

// The OEM set-up holds the engine inside its start.
TEST_F(EngineStateTest, OemSetUpIsTheStartsReason)
{
    setDword(kOemKey, L"OOBEDone", 0);
    LogCapture log;
    launch();
    ASSERT_TRUE(awaitLogged(log, L"Found OOBEDONE=0; Waiting for OOBEDONE=1"));
    EXPECT_EQ(engineState().phase, EnginePhase::starting);
    EXPECT_EQ(engineState().reason, EngineReason::oemSetUp);
    // Told to other processes before the loop's first step.
    EXPECT_EQ(awaitMirroredState([](const auto& key) { return key.present; }, kBoundMs).engine, engineState());
}

// --- What holds a task, and what its last launch and deferral came to --------------------------

// Queued behind a running task; an auto-maintenance run holds out the task excluded from it.
TEST_F(EngineStateTest, QueuedRunningAndExcludedDuringAnAutoMaintenanceRun)
{
    DrivenClock clock;
    storeGate(clock.value + 3600);
    storeAt(L"behind", clock.value + 3600);
    storeAt(L"excluded", clock.value - 5);
    change(L"excluded", [](CKsTask& task) { task.dwMeteredAccessWise = KS_AM_TASK_EXCLUSION_WISE; });
    start();
    kick();
    ASSERT_TRUE(switchRunningEngineAMMode(true));
    ASSERT_TRUE(gateRuns());
    EXPECT_EQ(engineState().phase, EnginePhase::autoMaintenance);
    EXPECT_TRUE(taskState(L"gate").running);
    EXPECT_TRUE(taskState(L"behind").queued);
    EXPECT_EQ(taskState(L"excluded").hold.reason, HoldReason::maintenanceExclusion);
}

struct HoldCase {
    const char* label;
    std::function<void(EngineStateTest&)> arrange;  // after "held" was stored, before the start
    HoldReason reason;
    uint32_t until;  // seconds after t0; 0: open-ended
};

void PrintTo(const HoldCase& row, std::ostream* out)
{
    *out << row.label;
}

class TaskHolds : public EngineStateTest, public ::testing::WithParamInterface<HoldCase> {};

TEST_P(TaskHolds, AreOnTheBoardWithSinceAndUntil)
{
    DrivenClock clock;
    const uint32_t t0 = clock.value;
    storeAt(L"held", t0 - 5);
    GetParam().arrange(*this);
    start();
    kick();
    triggerAndPump();
    const TaskHold hold = taskState(L"held").hold;
    EXPECT_EQ(hold.reason, GetParam().reason) << holdWord(hold.reason);
    EXPECT_EQ(hold.since, t0);
    EXPECT_EQ(hold.until, GetParam().until == 0 ? 0 : t0 + GetParam().until);
    EXPECT_FALSE(ran(L"held", t0 - 5));
}

INSTANTIATE_TEST_SUITE_P(
    Board, TaskHolds,
    ::testing::Values(
        HoldCase{"FullScreen", [](EngineStateTest& t) { t.fullScreen(); }, HoldReason::fullScreen, 21600},
        HoldCase{"Idle", [](EngineStateTest&) { change(L"held", [](CKsTask& task) { task.dwRunWhenIdle = 1; }); },
                 HoldReason::idle, 7200},
        HoldCase{"OutOfBox",
                 [](EngineStateTest&) {
                     EngineStateTest::dword(kOemKey, L"oobemode", 1);
                     EngineStateTest::dword(kSettingsKey, L"oobe_wait", 600);
                 },
                 HoldReason::outOfBox, 600},
        HoldCase{"RetailDemo",
                 [](EngineStateTest&) {
                     EngineStateTest::dword(L"SOFTWARE\\Kestrel\\ZARN", L"AutomationModeCheck", 1);
                     EngineStateTest::dword(L"SOFTWARE\\Kestrel\\ZARN", L"RetailModeInAutomation", 1);
                     EngineStateTest::text(KsStore::kSchedulerKeyPath, L"DisabledInRetailModeTasks", L"held");
                 },
                 HoldReason::retailDemo, 0}),
    [](const auto& info) { return std::string(info.param.label); });

// A program that ran and ended with its exit code; one that was refused, with its deferral.
TEST_F(EngineStateTest, LastLaunchAndLastDeferralAreKept)
{
    storeDue(L"exits7", L"--exit 7");
    storeTask(L"refused", KS_TASK_SCHEDULED, L"", Keelwork::Clock::current().now() - 5, 3600,
              testProgramFolder() + L"\\no-such-program.exe");
    start();
    EXPECT_EQ(awaitMessages({L"TaskScheduler.Task.Completed.exits7 {\"name\":\"exits7\"}",
                             L"TaskScheduler.Task.LaunchAttempt.refused {\"name\":\"refused\"}"}),
              std::set<std::wstring>{});
    std::optional<LaunchOutcome> launched;
    for (DWORD waited = 0; waited < kBoundMs && !(launched = taskState(L"exits7").lastLaunch); waited += 50)
        ::Sleep(50);  // the board is told right after the report goes out
    ASSERT_TRUE(launched);
    EXPECT_EQ(launched->result, 0u);
    EXPECT_EQ(launched->exitCode, std::optional<uint32_t>(7));
    EXPECT_FALSE(taskState(L"exits7").lastDeferral);
    std::optional<DeferralOutcome> deferred;
    for (DWORD waited = 0; waited < kBoundMs && !(deferred = taskState(L"refused").lastDeferral); waited += 50)
        ::Sleep(50);
    ASSERT_TRUE(deferred);
    EXPECT_EQ(deferred->code, 10u);
    EXPECT_EQ(deferred->error, 5u);
    EXPECT_FALSE(taskState(L"refused").lastLaunch) << "a refused program was not started";

    // The history is written right after the board is told.
    auto newest = [](const wchar_t* name) {
        std::vector<KsStore::HistoryEntry> entries;
        for (DWORD waited = 0; waited < kBoundMs && (entries = KsStore::TaskHistory::read(name).entries).empty();
             waited += 50)
            ::Sleep(50);
        return entries.empty() ? KsStore::HistoryEntry{} : entries.front();
    };
    const KsStore::HistoryEntry ran = newest(L"exits7"), refused = newest(L"refused");
    EXPECT_EQ(ran.event, KsStore::HistoryEvent::launched);
    EXPECT_TRUE(ran.exitCodeKnown);
    EXPECT_EQ(ran.exitCode, 7u);
    EXPECT_EQ(ran.time, launched->time);
    EXPECT_EQ(refused.event, KsStore::HistoryEvent::refused);
    EXPECT_EQ(std::make_tuple(refused.code, refused.errorCode), std::make_tuple(10u, 5u));
}

} // namespace
