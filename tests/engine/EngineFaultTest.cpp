// Faults the running engine survives. Each row stores a faulty task ahead of a healthy one; a gate
// task ahead of both holds the engine inside its launch while the row does its damage, so "between
// the queue build and the launch" is a fixed point. The healthy task must still run and the store
// must still make sense; stopped at the faulty task instead, the engine must end at once and run
// the healthy task on its next start.
#include "EngineLoopFixture.h"
#include "TestFolder.h"

#include "messagebus/LibraryBlockList.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace {

using namespace kstest;

enum class Fault {
    missingProgram,    // the program file is not there
    notAProgram,       // a trusted file that is no program: validation passes, the start fails
    crashes,           // the program dies of an access violation
    neverFinishes,     // never exits, never sets its completion event: the finish wait ends it
    deletedByRequest,  // removed through task management after the queue was built
    deletedQuietly,    // its key removed behind the engine's back after the queue was built
    corrupted,         // its "NextRun" made unreadable after the queue was built, then announced
    nextRunZero,
    nextRunNever,      // "NextRun" 0xFFFFFFFF
    busRefused,        // the bus library is on the block list: no client can be made
};

// What is stored for "faulty" once the row is over.
enum class Stored { advanced, unchanged, gone, corrupt };

struct FaultCase {
    const char* label;
    Fault fault;
    const wchar_t* report;  // the message that follows the faulty task's launch attempt; null: no attempt
    Stored stored;
};

void PrintTo(const FaultCase& row, std::ostream* out)
{
    *out << row.label;
}

constexpr uint32_t kNever = 0xFFFFFFFF;
const std::wstring kCompleted = L"TaskScheduler.Task.Completed.faulty {\"name\":\"faulty\"}";

class EngineFault : public EngineLoop, public ::testing::WithParamInterface<FaultCase> {
protected:
    void SetUp() override
    {
        EngineLoop::SetUp();
        m_before = Keelwork::Clock::current().now();
        storeTask({.name = L"gate", .params = m_gate.params(), .priority = KS_PRIORITY_REALTIME});
        storeFaulty(GetParam().fault);
        m_faultyNextRun = storedNextRun(L"faulty");
        storeTask({.name = L"healthy", .params = L"--set-event " + ranEventName(), .priority = KS_PRIORITY_LOW});
        if (GetParam().fault == Fault::busRefused)
            refuseBusLibrary();
    }

    void TearDown() override
    {
        m_gate.release();
        EngineLoop::TearDown();
        endSampleTasks();
    }

    void storeFaulty(Fault fault)
    {
        TestTask faulty{.name = L"faulty", .priority = KS_PRIORITY_HIGH};
        switch (fault) {
        case Fault::missingProgram:
        case Fault::busRefused:
            faulty.trigger = m_folder.path() + L"\\no-such-program.exe";
            break;
        case Fault::notAProgram:
            faulty.trigger = m_folder.path() + L"\\not-a-program.exe";
            std::ofstream(std::filesystem::path(faulty.trigger)) << "just text, no program";
            ASSERT_TRUE(trustForTest(faulty.trigger));
            break;
        case Fault::crashes:
            faulty.params = L"--crash";
            break;
        case Fault::neverFinishes:
            setDword(KsStore::kSchedulerKeyPath, L"taskfinishwait", 2);
            faulty.params = L"--sleep 600000";
            faulty.completeEvent = uniqueEventName(L"ks-fault-never-set-");
            break;
        case Fault::nextRunZero:
            faulty.nextRun = 0;
            break;
        case Fault::nextRunNever:
            faulty.nextRun = kNever;
            break;
        default:
            break;
        }
        storeTask(faulty);
    }

    // Done while the gate task holds the engine, after the queue was built.
    void damage(Fault fault)
    {
        const std::wstring key = taskKeyPath(L"faulty");
        switch (fault) {
        case Fault::deletedByRequest:
            ASSERT_TRUE(Orbis::TaskManagement().deleteTask(L"faulty"));
            break;
        case Fault::deletedQuietly:
            ASSERT_EQ(::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str()), ERROR_SUCCESS);
            break;
        case Fault::corrupted:
            setString(key.c_str(), L"NextRun", L"garbage");
            signalNewTask();
            break;
        default:
            break;
        }
    }

    // The bus library of this folder, at its own version, on the block list: every bus client made
    // from now on fails to load it; the monitors made in SetUp keep theirs.
    void refuseBusLibrary()
    {
        const std::wstring library = testProgramFolder() + L"\\" + Tessel::kMessageBusFileName;
        std::wstring version;
        ASSERT_TRUE(Tessel::readFileVersion(library, version));
        setString((std::wstring(Tessel::kBlockListKeyPath) + Tessel::kMessageBusFileName).c_str(),
                  Tessel::kBlockedVersionValue, version);
    }

    // Starts the engine, waits for the gate task to hold it, does the row's damage and lets go.
    void runToTheGate()
    {
        start();
        ASSERT_TRUE(m_gate.runs()) << "the gate task did not run";
        damage(GetParam().fault);
        m_gate.release();
    }

    void expectStoredState()
    {
        const std::wstring key = taskKeyPath(L"faulty");
        switch (GetParam().stored) {
        case Stored::advanced:
            EXPECT_GE(storedNextRun(L"faulty"), m_before + 3600);
            break;
        case Stored::unchanged:
            EXPECT_EQ(storedNextRun(L"faulty"), m_faultyNextRun);
            break;
        case Stored::gone:
            EXPECT_FALSE(keyExists(key.c_str())) << "the task's key came back";
            break;
        case Stored::corrupt:
            EXPECT_TRUE(keyExists(key.c_str()));
            EXPECT_FALSE(CKsTask(L"faulty").Read()) << "the corrupt value changed under the engine";
            break;
        }
        for (const wchar_t* name : {L"gate", L"healthy"}) {
            CKsTask task(name);
            EXPECT_TRUE(task.Read()) << "lost " << testing::PrintToString(std::wstring(name));
        }
    }

    TestFolder m_folder;
    GateTask m_gate;
    uint32_t m_before = 0;
    uint32_t m_faultyNextRun = 0;
};

TEST_P(EngineFault, HealthyTaskBehindTheFaultyOneRunsAndTheStoreStaysSane)
{
    runToTheGate();
    ASSERT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the healthy task did not run";
    EXPECT_GE(storedNextRun(L"healthy"), m_before + 3600);
    expectStoredState();
    if (GetParam().fault == Fault::busRefused) {
        EXPECT_EQ(m_inbox.take(std::chrono::milliseconds(0)), nullptr) << "a refused bus carried a message";
        return;
    }
    const std::vector<std::wstring> seen =
        messagesUntil(L"TaskScheduler.Task.Completed.healthy {\"name\":\"healthy\"}");
    const auto has = [&](const std::wstring& line) { return std::find(seen.begin(), seen.end(), line) != seen.end(); };
    EXPECT_TRUE(has(L"TaskScheduler.Task.Completed.healthy {\"name\":\"healthy\"}")) << testing::PrintToString(seen);
    const std::wstring attempt = L"TaskScheduler.Task.LaunchAttempt.faulty {\"name\":\"faulty\"}";
    if (GetParam().report) {
        EXPECT_TRUE(has(attempt)) << testing::PrintToString(seen);
        EXPECT_TRUE(has(GetParam().report)) << testing::PrintToString(seen);
    } else {
        EXPECT_FALSE(has(attempt)) << testing::PrintToString(seen);
    }
}

// A hang check, far below any task's own time: the exit event must cut every fault short.
TEST_P(EngineFault, StopAtTheFaultyTaskEndsAtOnceAndTheNextStartRunsTheHealthyOne)
{
    runToTheGate();
    // With the bus refused nothing shows how far the engine got: the stop may come before or
    // after the faulty task.
    const bool observed = GetParam().report && GetParam().fault != Fault::busRefused;
    if (observed) {
        const std::wstring attempt = L"TaskScheduler.Task.LaunchAttempt.faulty {\"name\":\"faulty\"}";
        const std::vector<std::wstring> seen = messagesUntil(attempt);
        ASSERT_FALSE(seen.empty());
        ASSERT_EQ(seen.back(), attempt);
    }
    const ULONGLONG asked = ::GetTickCount64();
    stop();
    EXPECT_LT(::GetTickCount64() - asked, 10000u) << "the stop waited for the fault";
    // The stop may catch the healthy task's launch after its next run was written: its program
    // has started then, and is left to tell the test it ran (TearDown ends what still runs).
    if (observed || !GetParam().report)
        expectStoredState();
    else
        EXPECT_TRUE(CKsTask(L"faulty").Read()) << "lost the faulty task";
    start();
    EXPECT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the healthy task was lost";
    EXPECT_GE(storedNextRun(L"healthy"), m_before + 3600);
}

const std::wstring kMissing =
    L"TaskScheduler.Task.Deferred.faulty {\"name\":\"faulty\",\"reason\":\"validation\",\"errorCode\":5,"
    L"\"DeferredCode\":10,\"DeltaTime\":3600}";
const std::wstring kNotStarted =
    L"TaskScheduler.Task.Deferred.faulty {\"name\":\"faulty\",\"reason\":\"failedToLaunch\",\"errorCode\":193,"
    L"\"DeferredCode\":9,\"DeltaTime\":3600}";
const std::wstring kNotInList =
    L"TaskScheduler.Task.Deferred.faulty {\"name\":\"faulty\",\"reason\":\"error\",\"errorCode\":13}";

INSTANTIATE_TEST_SUITE_P(
    Faults, EngineFault,
    ::testing::Values(FaultCase{"MissingProgram", Fault::missingProgram, kMissing.c_str(), Stored::advanced},
                      FaultCase{"NotAProgram", Fault::notAProgram, kNotStarted.c_str(), Stored::advanced},
                      FaultCase{"Crashes", Fault::crashes, kCompleted.c_str(), Stored::advanced},
                      FaultCase{"NeverFinishes", Fault::neverFinishes, kCompleted.c_str(), Stored::advanced},
                      FaultCase{"DeletedByRequest", Fault::deletedByRequest, kNotInList.c_str(), Stored::gone},
                      FaultCase{"DeletedQuietly", Fault::deletedQuietly, kCompleted.c_str(), Stored::gone},
                      FaultCase{"Corrupted", Fault::corrupted, kNotInList.c_str(), Stored::corrupt},
                      FaultCase{"NextRunZero", Fault::nextRunZero, kCompleted.c_str(), Stored::advanced},
                      FaultCase{"NextRunNever", Fault::nextRunNever, nullptr, Stored::unchanged},
                      FaultCase{"BusRefused", Fault::busRefused, kMissing.c_str(), Stored::advanced}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
