// The engine's state as another process reads it from the registry: every phase, hold and outcome
// through the writer and the reader, damaged values read as absent, a key that is volatile and
// closed to all but SYSTEM and Administrators, and the real engine keeping it up to date.
#include "EngineLoopFixture.h"
#include "ExpectLogged.h"
#include "KeySecurity.h"
#include "StateKeyWait.h"
#include "TestClock.h"

#include "state/MirroredState.h"
#include "state/StateKey.h"
#include "state/StateMirror.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

namespace {

using namespace kstest;
using namespace KsState;

using Tasks = std::map<std::wstring, TaskState>;

MirroredState readState()
{
    MirroredState state;
    EXPECT_EQ(readMirroredState(state), ERROR_SUCCESS);
    return state;
}

// Every hold and outcome kind, and a task with nothing to tell, which the key leaves out.
Tasks everyKind()
{
    Tasks tasks;
    tasks[L"queued"].queued = true;
    tasks[L"running"].running = true;
    tasks[L"running under a limit"] = TaskState{false, true, {}, {}, {}, 1800000009};
    const HoldReason holds[] = {HoldReason::outOfBox, HoldReason::idle, HoldReason::fullScreen, HoldReason::retailDemo,
                                HoldReason::maintenanceExclusion};
    for (HoldReason hold : holds)
        tasks[std::wstring(L"held ") + holdWord(hold)].hold = TaskHold{hold, 1800000000, 1800000000u + unsigned(hold)};
    tasks[L"exited"].lastLaunch = LaunchOutcome{1800000001, 0, 7u, 1234, 312u, uint64_t{5} << 32};
    tasks[L"exited, usage unknown"].lastLaunch = LaunchOutcome{1800000001, 0, 7u, 1234};
    tasks[L"still running at the wait's end"].lastLaunch = LaunchOutcome{1800000002, 1460, std::nullopt, 3600000};
    tasks[L"refused"].lastDeferral = DeferralOutcome{1800000003, 10, 3600, 5};
    tasks[L"queued again \"after\" both"] = TaskState{true, false, TaskHold{}, LaunchOutcome{1800000004, 0, 0u, 1},
                                                      DeferralOutcome{1800000005, 3, 300, 0}};
    tasks[L"nothing to tell"] = TaskState{};
    return tasks;
}

// A fixed clock: the engine's value changes only with what it tells.
struct StateKey : RegistryFixture {
    TestClock m_clock;
};

// --- Writer and reader -------------------------------------------------------------------------

class StateKeyPhases : public StateKey, public ::testing::WithParamInterface<EnginePhase> {};

TEST_P(StateKeyPhases, RoundTripEveryKindAndWriteOnlyWhatChanged)
{
    const EngineState engine{GetParam(), static_cast<EngineReason>(static_cast<int>(GetParam()) % 6), 1700000000,
                             GetParam() == EnginePhase::startDelay ? 1700000300u : 0u};
    Tasks tasks = everyKind();
    StateMirror mirror;
    unsigned touched = 0;
    ASSERT_EQ(mirror.write(engine, tasks, &touched), ERROR_SUCCESS);
    EXPECT_EQ(touched, tasks.size());  // every task but the one with nothing to tell, and the engine

    MirroredState read = readState();
    ASSERT_TRUE(read.present);
    EXPECT_EQ(read.engine, engine) << phaseWord(read.engine.phase) << " " << reasonWord(read.engine.reason);
    EXPECT_EQ(read.ownerPid, ::GetCurrentProcessId());
    EXPECT_TRUE(read.ownerRunning);
    EXPECT_EQ(read.written, m_clock.value.load());
    Tasks told = tasks;
    told.erase(L"nothing to tell");
    EXPECT_EQ(read.tasks, told);

    // Unchanged: nothing written. A task with nothing left to tell, and one gone, are removed.
    ASSERT_EQ(mirror.write(engine, tasks, &touched), ERROR_SUCCESS);
    EXPECT_EQ(touched, 0u);
    tasks[L"queued"].queued = false;
    tasks.erase(L"refused");
    tasks[L"exited"].running = true;
    ASSERT_EQ(mirror.write(engine, tasks, &touched), ERROR_SUCCESS);
    EXPECT_EQ(touched, 3u);
    told = tasks;
    told.erase(L"nothing to tell");
    told.erase(L"queued");
    EXPECT_EQ(readState().tasks, told);

    // A new writer (the engine started again) removes what the last one told and it does not.
    StateMirror next;
    ASSERT_EQ(next.write(engine, {{L"exited", tasks[L"exited"]}}), ERROR_SUCCESS);
    EXPECT_EQ(readState().tasks, (Tasks{{L"exited", tasks[L"exited"]}}));
}

INSTANTIATE_TEST_SUITE_P(Every, StateKeyPhases,
                         ::testing::Values(EnginePhase::starting, EnginePhase::startDelay, EnginePhase::running,
                                           EnginePhase::suspended, EnginePhase::connectedStandby,
                                           EnginePhase::autoMaintenance, EnginePhase::stopping, EnginePhase::stopped),
                         [](const auto& info) { return "Phase" + std::to_string(static_cast<int>(info.param)); });

// A value of another version or size, or out of range, reads as absent: the engine's leaves the
// whole key absent, a task's leaves that task out.
struct Damage {
    const char* label;
    const wchar_t* value;
    std::function<void(std::vector<uint8_t>&)> damage;
    DWORD type;
};

void PrintTo(const Damage& row, std::ostream* out)
{
    *out << row.label;
}

class DamagedStateValue : public StateKey, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedStateValue, ReadsAsAbsent)
{
    TaskState queued;
    queued.queued = true;
    const Tasks tasks{{L"queued", queued}, {L"refused", everyKind()[L"refused"]}};
    ASSERT_EQ(StateMirror().write(EngineState{EnginePhase::running}, tasks), ERROR_SUCCESS);
    const RawValue raw = readRaw(kStateKeyPath, GetParam().value);
    std::vector<uint8_t> data(raw.bytes.begin(), raw.bytes.end());
    GetParam().damage(data);
    writeRaw(kStateKeyPath, GetParam().value, GetParam().type, data.data(), data.size());

    const MirroredState read = readState();
    const bool engineDamaged = *GetParam().value == L'\0';
    EXPECT_EQ(read.present, !engineDamaged);
    EXPECT_EQ(read.tasks, engineDamaged ? Tasks{} : Tasks({{L"queued", queued}}));
}

const auto kVersion2 = [](std::vector<uint8_t>& data) { data[0] = 2; };
const auto kShort = [](std::vector<uint8_t>& data) { data.pop_back(); };
const auto kLong = [](std::vector<uint8_t>& data) { data.push_back(0); };
const auto kOutOfRange = [](std::vector<uint8_t>& data) { data[1] = 0xff; };
const auto kAsIs = [](std::vector<uint8_t>&) {};

INSTANTIATE_TEST_SUITE_P(
    Kinds, DamagedStateValue,
    ::testing::Values(Damage{"EngineOfAnotherVersion", L"", kVersion2, REG_BINARY},
                      Damage{"EngineTooShort", L"", kShort, REG_BINARY},
                      Damage{"EngineTooLong", L"", kLong, REG_BINARY},
                      Damage{"EngineUnknownPhase", L"", kOutOfRange, REG_BINARY},
                      Damage{"EngineNotBinary", L"", kAsIs, REG_DWORD},
                      Damage{"TaskOfAnotherVersion", L"refused", kVersion2, REG_BINARY},
                      Damage{"TaskTooShort", L"refused", kShort, REG_BINARY},
                      Damage{"TaskUnknownFlags", L"refused", kOutOfRange, REG_BINARY},
                      Damage{"TaskEmpty", L"refused", [](std::vector<uint8_t>& data) { data.clear(); }, REG_BINARY}),
    [](const auto& info) { return std::string(info.param.label); });

// A task's value written before the launch's usage was kept reads as it did; the usage flags
// need the longer value.
TEST_F(StateKey, ATaskValueOfTheFirstSizeStillReads)
{
    const TaskState without = everyKind()[L"exited, usage unknown"];
    std::vector<uint8_t> first = encodeTask(everyKind()[L"exited"]);
    first.resize(kFirstTaskValueSize);
    EXPECT_FALSE(decodeTask(first)) << "usage flags in a value too short to hold it";
    first[1] = encodeTask(without)[1];
    EXPECT_EQ(decodeTask(first), without);
}

// An owner's process id names another process once the owner is gone: the creation time tells.
TEST_F(StateKey, OwnerIsRunningOnlyWithItsCreationTime)
{
    EXPECT_FALSE(readState().present) << "no key: nothing to read, and no error";
    const StateOwner self = currentStateOwner();
    for (const auto& [owner, running] : {std::pair{self, true}, std::pair{StateOwner{self.pid, self.created + 1}, false},
                                         std::pair{StateOwner{}, false}}) {
        const std::vector<uint8_t> data = encodeEngine({EngineState{EnginePhase::running}, owner, 1});
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kStateKeyPath, kEngineValueName, REG_BINARY, data.data(),
                                  static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        const MirroredState read = readState();
        EXPECT_TRUE(read.present);
        EXPECT_EQ(read.ownerRunning, running) << owner.pid << " " << owner.created;
    }
}

// Wine does not apply a descriptor given at creation; the key carries the one set right after,
// and Wine enforces that one on open.
TEST_F(StateKey, IsVolatileAndClosedToAllButSystemAndAdministrators)
{
    ASSERT_EQ(StateMirror().write(EngineState{}, {}), ERROR_SUCCESS);
    Keelwork::unique_hkey key, child;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kStateKeyPath, 0, KEY_CREATE_SUB_KEY, key.put()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExW(key.get(), L"lasting", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr,
                              child.put(), nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE)
        << "only a volatile key refuses a lasting child";

    EXPECT_EQ(daclText(kStateKeyPath), L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)");
    EXPECT_EQ(openAsNonAdministrator(kStateKeyPath), ERROR_ACCESS_DENIED);
}

// A key the mirror may not write: one Warning for a run of failed steps, not one per step.
TEST_F(StateKey, FailingWritesWarnOnce)
{
    Keelwork::unique_hkey key;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly,
                                                                     nullptr));
    const Keelwork::unique_hlocal owner(readOnly);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStateKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, readOnly), ERROR_SUCCESS);
    LogCapture log;
    EngineStateBoard board;
    StateMirror mirror;
    for (EnginePhase phase : {EnginePhase::starting, EnginePhase::running, EnginePhase::stopping}) {
        board.setEngine(EngineState{phase});
        mirror.follow(board);
    }
    const std::wstring warning = L"The engine's state could not be written to the registry key";
    EXPECT_LOGGED(log, ::ETWLogging::LOG_LEVEL_WARNING, warning);
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](auto& line) { return line.find(warning) != line.npos; }), 1);
}

// --- The running engine ------------------------------------------------------------------------

using EngineStateKey = EngineLoop;

// Held while a full-screen application runs; after a clean stop the key says "stopped".
TEST_F(EngineStateKey, TellsAHeldTaskAndTheCleanStop)
{
    TestClock clock;
    storeTask({.name = L"held", .nextRun = clock.value - 5});
    answerFullScreen(true);
    start();
    kick();
    triggerAndPump();
    MirroredState state = awaitMirroredState(
        [](const MirroredState& s) {
            return s.engine.phase == EnginePhase::running && s.tasks.count(L"held") &&
                   s.tasks.at(L"held").hold.reason != HoldReason::none;
        },
        kBoundMs);
    ASSERT_TRUE(state.present);
    EXPECT_EQ(state.engine.phase, EnginePhase::running) << phaseWord(state.engine.phase);
    EXPECT_EQ(state.tasks[L"held"].hold.reason, HoldReason::fullScreen);
    EXPECT_TRUE(state.ownerRunning);
    stop();
    state = readState();
    EXPECT_EQ(state.engine.phase, EnginePhase::stopped) << phaseWord(state.engine.phase);
    EXPECT_EQ(state.ownerPid, ::GetCurrentProcessId());
}

// A task's run takes the engine's whole step: the key tells it runs while it does.
TEST_F(EngineStateKey, TellsARunningTaskWhileItRuns)
{
    const std::wstring release = L"Global\\ks-statekey-release-" + std::to_wstring(::GetCurrentProcessId());
    Keelwork::unique_event released(::CreateEventW(nullptr, TRUE, FALSE, release.c_str()));
    storeTask({.name = L"long", .params = L"--wait-event " + release});
    start();
    const MirroredState state = awaitMirroredState(
        [](const MirroredState& s) { return s.tasks.count(L"long") && s.tasks.at(L"long").running; }, kBoundMs);
    ::SetEvent(released.get());
    EXPECT_TRUE(state.tasks.count(L"long") && state.tasks.at(L"long").running);
}

} // namespace
