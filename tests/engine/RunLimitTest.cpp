// A task's run-time limit through the real engine: a program that starts two children and sleeps
// is ended with both children at its limit, whether the engine still waits for it, stopped
// waiting first, or stopped with the module first; the history tells the launch, then the stop.
#include "EngineLoopFixture.h"

#include "store/TaskHistory.h"

#include <tlhelp32.h>

namespace {

using namespace kstest;
using KsStore::StopReason;

struct LimitCase {
    const char* label;
    DWORD finishWait;
    bool completionEvent;  // the engine waits for an event the program never sets
    bool stopModule;       // the module stops once the tree runs
    StopReason reason;
    const wchar_t* warning;
};

void PrintTo(const LimitCase& c, std::ostream* out) { *out << c.label; }

// Every sample-task.exe created since `since` (FILETIME units), opened for waiting.
std::vector<Keelwork::unique_handle> programsSince(uint64_t since)
{
    std::vector<Keelwork::unique_handle> found;
    Keelwork::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, L"sample-task.exe") != 0)
            continue;
        Keelwork::unique_handle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                                      entry.th32ProcessID));
        FILETIME created{}, exited{}, kernel{}, user{};
        if (process && ::GetProcessTimes(process.get(), &created, &exited, &kernel, &user) &&
            (uint64_t{created.dwHighDateTime} << 32 | created.dwLowDateTime) >= since)
            found.push_back(std::move(process));
    }
    return found;
}

class RunLimit : public EngineLoop, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(RunLimit, EndsTheWholeTreeAndTheHistoryTellsTheStop)
{
    const LimitCase& row = GetParam();
    const std::wstring runs = uniqueEventName(L"ks-limit-runs-");
    Keelwork::unique_event runsEvent(::CreateEventW(nullptr, TRUE, FALSE, runs.c_str()));
    setDword(KsStore::kSchedulerKeyPath, L"taskfinishwait", row.finishWait);
    storeTask({.name = L"limited",
               .params = L"--children 2 --set-event " + runs + L" --sleep 60000",
               .completeEvent = row.completionEvent ? uniqueEventName(L"ks-limit-never-") : L"",
               .maxRunTime = 2});
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t before = uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
    LogCapture log;
    start();
    ASSERT_EQ(::WaitForSingleObject(runsEvent.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the program did not run";
    std::vector<Keelwork::unique_handle> tree;
    ASSERT_TRUE(awaitTrue([&] { return (tree = programsSince(before)).size() == 3; })) << tree.size() << " programs";
    if (row.finishWait > 2) {
        EXPECT_NE(taskState(L"limited").endsAt, 0u) << "the board does not tell when the run is ended";
    }
    HANDLE handles[3];
    for (size_t i = 0; i < 3; ++i)
        handles[i] = tree[i].get();
    if (row.finishWait < 2) {
        // The engine stops waiting first: while the tree still runs, the board keeps its end.
        ASSERT_TRUE(awaitTrue([] { return !taskState(L"limited").running; })) << "the launch still waits";
        const KsState::TaskState seen = taskState(L"limited");
        if (::WaitForMultipleObjects(3, handles, FALSE, 0) == WAIT_TIMEOUT) {
            EXPECT_NE(seen.endsAt, 0u) << "the board forgot the limit of a tree that still runs";
        }
    }
    if (row.stopModule)
        stop();
    EXPECT_EQ(::WaitForMultipleObjects(3, handles, TRUE, 3000), DWORD{WAIT_OBJECT_0}) << "the tree outlived its limit";
    // The engine's wait for an event the program never sets ends with the tree, not at its own bound.
    EXPECT_TRUE(awaitTrue([] { return !taskState(L"limited").running; })) << "the launch still waits";
    if (!row.stopModule) {
        EXPECT_TRUE(awaitTrue([] { return taskState(L"limited").endsAt == 0; })) << "an ended tree still has an end";
    }
    stop();

    EXPECT_TRUE(log.contains(row.warning)) << narrowForReport(log.text());
    const std::vector<KsStore::HistoryEntry> history = KsStore::TaskHistory::read(L"limited").entries;
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].event, KsStore::HistoryEvent::stopped);
    EXPECT_STREQ(KsStore::stopReasonWord(history[0].code), row.reason == StopReason::timeLimit ? L"time limit" : L"module stop");
    EXPECT_TRUE(history[0].cpuMs.has_value());
    EXPECT_GT(history[0].peakMemoryBytes.value_or(0), 0u);
    EXPECT_EQ(history[1].event, KsStore::HistoryEvent::launched);
    EXPECT_EQ(taskState(L"limited").endsAt, 0u);
}

const wchar_t kTimeLimit[] = L"Task limited ran longer than its limit of 2 seconds and was stopped";
INSTANTIATE_TEST_SUITE_P(
    Rows, RunLimit,
    ::testing::Values(LimitCase{"EngineWaitsForAnEvent", 60, true, false, StopReason::timeLimit, kTimeLimit},
                      LimitCase{"EngineStoppedWaitingFirst", 1, false, false, StopReason::timeLimit, kTimeLimit},
                      LimitCase{"ModuleStopsFirst", 60, false, true, StopReason::moduleStop,
                                L"Task limited was stopped with the scheduler before its limit of 2 seconds"}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
