// The one decision over the head task: each question and state once, as a table; then, through the
// real engine, the pump and Explain's "ifDueNow" giving the same answer for the same machine.
#include "EngineLoopFixture.h"

#include "engine/DueNowDecision.h"
#include "engine/HeadTaskDecision.h"
#include "execution/DeferralCodes.h"
#include "platform/SystemProbeServices.h"

#include <gtest/gtest.h>

namespace {

using namespace kstest;
using Keelwork::engine::HeadStep;
using Keelwork::engine::PumpHoldState;
using KsState::HoldReason;
using KsState::TaskHold;

constexpr uint32_t kT = 1700000000;

struct Machine {
    bool standby = false;
    bool updates = false;
    bool head = true;
    bool waitsForIdle = false;
    bool idle = false;
    bool fullScreen = false;
};

class Asked final : public Keelwork::engine::HeadTaskQuestions {
public:
    explicit Asked(const Machine& machine) : m(machine) {}
    bool connectedStandby() override { return m.standby; }
    bool updatesInstalling() override { return m.updates; }
    std::optional<std::wstring> headTask() override { return m.head ? std::optional<std::wstring>(L"job") : std::nullopt; }
    bool headWaitsForIdle() override { return m.waitsForIdle; }
    bool idle() override { return m.idle; }
    bool fullScreen() override { return m.fullScreen; }

private:
    Machine m;
};

struct DecisionCase {
    const char* label;
    bool am;
    Machine machine;
    PumpHoldState before;
    HeadStep step;
    TaskHold hold;  // for held
    uint32_t delay;
    PumpHoldState after;
};

void PrintTo(const DecisionCase& row, std::ostream* out)
{
    *out << row.label;
}

class HeadTaskDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(HeadTaskDecision, DecidesFromQuestionsStateAndTime)
{
    const DecisionCase& row = GetParam();
    Asked asked(row.machine);
    const Keelwork::engine::PumpView view{row.before, row.am, {}};
    const auto decision = Keelwork::engine::decideHeadTask(asked, view, kT, false);
    EXPECT_EQ(decision.step, row.step);
    EXPECT_EQ(decision.delay, row.delay);
    EXPECT_EQ(decision.after, row.after);
    if (row.step == HeadStep::held) {
        EXPECT_EQ(decision.hold.hold, row.hold);
        EXPECT_EQ(decision.hold.lookAgainAt, kT + row.delay);
    }
}

constexpr Machine kHead{};
constexpr Machine kStandby{.standby = true};
constexpr Machine kUpdates{.updates = true};
constexpr Machine kEmpty{.head = false};
constexpr Machine kBusy{.waitsForIdle = true};
constexpr Machine kIdle{.waitsForIdle = true, .idle = true};
constexpr Machine kFull{.fullScreen = true};
constexpr Machine kBusyFull{.waitsForIdle = true, .fullScreen = true};
constexpr Machine kIdleFull{.waitsForIdle = true, .idle = true, .fullScreen = true};
constexpr PumpHoldState kFresh{};
constexpr TaskHold kNoHold{};
constexpr HeadStep kLaunch = HeadStep::launch;
constexpr HeadStep kHeld = HeadStep::held;

INSTANTIATE_TEST_SUITE_P(
    Table, HeadTaskDecision,
    ::testing::Values(
        DecisionCase{"NothingHolds", false, kHead, kFresh, kLaunch, kNoHold, 0, kFresh},
        DecisionCase{"ConnectedStandby", false, kStandby, kFresh, HeadStep::connectedStandby, kNoHold, 0, kFresh},
        DecisionCase{"AmRunGoesOnInStandby", true, kStandby, kFresh, kLaunch, kNoHold, 0, kFresh},
        DecisionCase{"UpdatesInstalling", false, kUpdates, kFresh, HeadStep::updatesInstalling, kNoHold, 300, kFresh},
        DecisionCase{"UpdatesInstallingInAmRun", true, kUpdates, kFresh, HeadStep::updatesInstalling, kNoHold, 300,
                     kFresh},
        DecisionCase{"EmptyQueueEndsTheBatch", false, kEmpty, {kT - 5, kT - 5, true, true}, HeadStep::queueEmpty,
                     kNoHold, 0, {kT - 5, kT - 5, false, false}},
        DecisionCase{"BusyUserHoldsIdleTask", false, kBusy, kFresh, kHeld, {HoldReason::idle, kT, kT + 7200}, 600,
                     {kT, 0, false, false}},
        DecisionCase{"IdleWaitGoesOn", false, kBusy, {kT - 600}, kHeld, {HoldReason::idle, kT - 600, kT + 6600}, 600,
                     {kT - 600}},
        DecisionCase{"ClockSetBackKeepsIdleHold", false, kBusy, {kT + 100}, kHeld,
                     {HoldReason::idle, kT + 100, kT + 7300}, 600, {kT + 100}},
        DecisionCase{"IdleUserEndsIdlePhase", false, kIdle, kFresh, kLaunch, kNoHold, 0, {kT, 0, true, false}},
        DecisionCase{"IdleLimitEndsIdlePhase", false, kBusy, {kT - 7200}, kLaunch, kNoHold, 0,
                     {kT - 7200, 0, true, false}},
        DecisionCase{"IdlePhaseOverForTheBatch", false, kBusy, {0, 0, true, false}, kLaunch, kNoHold, 0,
                     {0, 0, true, false}},
        DecisionCase{"AmRunHoldsNothing", true, kBusyFull, kFresh, kLaunch, kNoHold, 0, kFresh},
        DecisionCase{"FullScreenHolds", false, kFull, kFresh, kHeld, {HoldReason::fullScreen, kT, kT + 21600}, 600,
                     {0, kT, false, false}},
        DecisionCase{"IdleUserThenFullScreen", false, kIdleFull, kFresh, kHeld,
                     {HoldReason::fullScreen, kT, kT + 21600}, 600, {kT, kT, true, false}},
        DecisionCase{"FullScreenLimitFreesTheBatch", false, kFull, {0, kT - 21600}, kLaunch, kNoHold, 0,
                     {0, kT - 21600, false, true}},
        DecisionCase{"BatchThatOutwaitedFullScreen", false, kFull, {0, 0, false, true}, kLaunch, kNoHold, 0,
                     {0, 0, false, true}}),
    [](const auto& info) { return std::string(info.param.label); });

// The same machine through the real engine: ifDueNow, asked before the pump's step, says what the
// pump then does with the due task.
struct AgreementCase {
    const char* label;
    TestTask task;
    enum { plain, fullScreen, standby, updates } machine;
    const wchar_t* answer;  // "" for a run
};

void PrintTo(const AgreementCase& row, std::ostream* out)
{
    *out << row.label;
}

class PumpAndIfDueNow : public EngineLoop, public ::testing::WithParamInterface<AgreementCase> {
protected:
    void setMachine(decltype(AgreementCase::machine) machine)
    {
        if (machine == AgreementCase::fullScreen)
            answerFullScreen(true);
        if (machine == AgreementCase::standby)
            m_monitors.answer(names::kConnectedStandbyRequest, names::kConnectedStandbyOn);
        if (machine == AgreementCase::updates) {
            m_updateRuns.reset(::CreateEventW(nullptr, TRUE, FALSE,
                                              (std::wstring(names::kUpdateEventPrefix) + L"default").c_str()));
            setDword((std::wstring(names::kUpdateManagerKey) + L"\\Update\\pkg_default").c_str(), names::kUpdatePhaseValue, 3);
        }
    }

    // What the pump did with the task, once it did something.
    static std::optional<std::wstring> pumpAnswer(const LogCapture& log, const std::wstring& name)
    {
        if (engineState().phase == KsState::EnginePhase::connectedStandby)
            return KsState::phaseWord(KsState::EnginePhase::connectedStandby);
        if (log.contains(L"Schedule task installing updates. Setting timer"))
            return L"updates installing";
        const KsState::TaskState task = taskState(name.c_str());
        if (task.hold.reason != HoldReason::none)
            return KsState::holdWord(task.hold.reason);
        if (task.lastDeferral)
            return KsExecution::deferralReasonWord(static_cast<KsExecution::DeferralCode>(task.lastDeferral->code));
        if (task.lastLaunch)
            return L"";
        return std::nullopt;
    }

    Keelwork::unique_event m_updateRuns;
};

TEST_P(PumpAndIfDueNow, GiveTheSameAnswer)
{
    const AgreementCase& row = GetParam();
    storeTask(row.task);
    setMachine(row.machine);
    start();
    KsPlatform::SystemProbeServices system;
    const auto ifDueNow =
        Keelwork::engine::decideIfDueNow(row.task.name, system, Keelwork::engine::runningEngineView());
    ASSERT_TRUE(ifDueNow);
    LogCapture log;
    kick();
    std::optional<std::wstring> pump;
    ASSERT_TRUE(awaitTrue([&] { return (pump = pumpAnswer(log, row.task.name)).has_value(); }))
        << "the pump did nothing: " << narrowForReport(log.text());
    EXPECT_EQ(ifDueNow->run ? L"" : ifDueNow->reason, *pump);
    EXPECT_EQ(*pump, row.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, PumpAndIfDueNow,
    ::testing::Values(AgreementCase{"Runs", {}, AgreementCase::plain, L""},
                      AgreementCase{"FullScreen", {}, AgreementCase::fullScreen, L"full screen"},
                      AgreementCase{"UserBusy", {.runWhenIdle = 1}, AgreementCase::plain, L"idle"},
                      AgreementCase{"ConnectedStandby", {}, AgreementCase::standby, L"connected standby"},
                      AgreementCase{"UpdatesInstalling", {}, AgreementCase::updates, L"updates installing"},
                      AgreementCase{"Untrusted", {.trigger = L"C:\\windows\\notepad.exe"}, AgreementCase::plain,
                                    L"validation"}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
