// Benchmarks of the answers about a task while the engine runs a batch, with 10,000 tasks stored:
// the median and 99th percentile of an Explain and of a History (50 entries) of a task with a
// full history. The 99th percentile stands against that of one registry value read (RegQueryValueExW
// of the task's next run on a key already open), timed between the answers so both see one load;
// once on a quiet machine and once beside two threads spinning, as a second program would. The
// answers keep what they read of a task until it changes: each task is asked about once before
// the timing, as a module that has run a while was, so the figures are those of answers from memory.
#include "BenchSampleTask.h"
#include "BenchScratchHive.h"
#include "BenchTaskList.h"
#include "EngineLoopBench.h"

#include "common/Clock.h"
#include "execution/TaskExecutionNames.h"
#include "insight/InsightReplies.h"
#include "messagebus/MessageBusClient.h"
#include "store/KsTask.h"
#include "store/TaskHistory.h"

#include "registry/RegKey.h"
#include "store/KsTaskInfo.h"

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

constexpr int kTasks = 10000;
constexpr int kWithHistory = 100;  // every 100th task has a full history
constexpr int kBatch = 30;         // due at the engine's start, each running 200 ms
constexpr int kSamples = 1000;

void storeTask(const wchar_t* name, const std::wstring& program, const wchar_t* params, uint32_t due)
{
    KSTASKINFO record = {};
    record.dwSize = sizeof record;
    record.dwTaskType = KS_TASK_SCHEDULED;
    record.dwTaskTrigType = KS_TRIGGER_PROCESS;
    record.pwszTaskTrigger = const_cast<wchar_t*>(program.c_str());
    record.pwszTaskParams = const_cast<wchar_t*>(params);
    record.dwNextRun = due;
    record.dwDefaultFreq = 3600;
    CKsTask task(name);
    task.Assign(&record);
    task.Write();
}

void storeTasks(const std::wstring& program)
{
    const uint32_t now = Keelwork::Clock::current().now();
    for (int i = 0; i < kTasks; ++i)
        storeTask(ksbench::taskName(i).c_str(), program, L"--exit 0", now + 86400);
    KsStore::HistoryEntry entry{now - 86400, KsStore::HistoryEvent::launched, true, 0, 0, 250, 0, 0, 0};
    for (int i = 0; i < kTasks; i += kTasks / kWithHistory) {
        for (size_t n = 0; n < KsStore::kMaxHistoryEntries; ++n, entry.time += 60)
            KsStore::TaskHistory::append(ksbench::taskName(i).c_str(), entry);
    }
    for (int i = 0; i < kBatch; ++i) {
        wchar_t name[32];
        _snwprintf(name, 32, L"batch%02d", i);
        storeTask(name, program, L"--sleep 200", now - 5);
    }
}

std::wstring sampledTask(int k) { return ksbench::taskName((k % kWithHistory) * (kTasks / kWithHistory)); }

// The sampled tasks' keys, open for the floor's reads.
std::vector<Keelwork::CRegKey> openSampledKeys()
{
    std::vector<Keelwork::CRegKey> keys(kWithHistory);
    for (int k = 0; k < kWithHistory; ++k) {
        const std::wstring path = std::wstring(KsStore::kSchedulerKeyPath) + L"\\" + sampledTask(k);
        keys[k].open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE | KEY_WOW64_64KEY);
    }
    return keys;
}

struct Answers {
    std::vector<double> explain, history, floor;  // ms per sample
};

// One sample of each answer and one value read, in turn, about the same task.
void sample(Answers& out, int k, const std::vector<Keelwork::CRegKey>& keys)
{
    const KsInsight::BoardStateSource board;
    const std::wstring payload = L"{\"name\":\"" + sampledTask(k) + L"\",\"count\":50}";
    auto time = [](std::vector<double>& into, const std::function<void()>& op) {
        const double start = ksbench::nowMicros();
        op();
        into.push_back((ksbench::nowMicros() - start) / 1000.0);
    };
    std::wstring explained, listed;
    time(out.explain, [&] { explained = KsInsight::explainReply(payload, board, Keelwork::Clock::current().now()); });
    time(out.history, [&] { listed = KsInsight::historyReply(payload); });
    time(out.floor, [&] {
        BYTE data[64];
        DWORD size = sizeof data;
        ::RegQueryValueExW(keys[k % kWithHistory].get(), KsStore::ValueName::NextRun, nullptr, nullptr, data, &size);
    });
    if (explained.find(L"\"status\":true") == std::wstring::npos || listed.find(L"\"status\":true") == std::wstring::npos)
        std::printf("bench insight: a request about %ls was refused\n", sampledTask(k).c_str());
}

// Two threads spinning for as long as it lives: a second program loading both cores.
class CoreLoad {
public:
    CoreLoad()
    {
        for (auto& thread : m_threads)
            thread = std::thread([this] {
                while (!m_stop.load(std::memory_order_relaxed)) {
                }
            });
    }
    ~CoreLoad()
    {
        m_stop = true;
        for (auto& thread : m_threads)
            thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_threads[2];
};

void addFigures(std::vector<std::pair<std::string, ksbench::Figure>>& out, Answers& answers, const char* suffix)
{
    const double floor = ksbench::percentile(answers.floor, 99);
    auto add = [&](const char* name, std::vector<double>& samples) {
        out.emplace_back(std::string(name) + ".p50" + suffix, ksbench::Figure{ksbench::percentile(samples, 50), -1, "ms"});
        out.emplace_back(std::string(name) + ".p99" + suffix, ksbench::Figure{ksbench::percentile(samples, 99), floor, "ms"});
    };
    add("explain", answers.explain);
    add("history", answers.history);
}

ksbench::Register insight("insight", [] {
    ksbench::ScratchHive hive(L"Software\\KsBench\\Insight");
    const std::wstring program = ksbench::sampleTaskPath();
    ksbench::prepareLaunches(program);
    storeTasks(program);
    std::vector<std::pair<std::string, ksbench::Figure>> out;
    ksbench::EngineThread engine;
    Keelwork::unique_event started(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> completed{0};
    const HANDLE startedEvent = started.get();
    engine.bus().subscribeFilter(std::wstring(KsExecution::names::kLaunchAttemptTopic) + L"\\..*",
                                 [startedEvent](std::shared_ptr<Tessel::Message>) -> uint32_t {
                                     ::SetEvent(startedEvent);
                                     return 0;
                                 });
    engine.bus().subscribeFilter(std::wstring(KsExecution::names::kCompletedTopic) + L"\\..*",
                                 [&completed](std::shared_ptr<Tessel::Message>) -> uint32_t {
                                     ++completed;
                                     return 0;
                                 });
    if (!engine.running() || ::WaitForSingleObject(started.get(), 120000) != WAIT_OBJECT_0) {
        std::printf("bench insight: the engine did not start its batch\n");
        return out;
    }
    const std::vector<Keelwork::CRegKey> keys = openSampledKeys();
    Answers first, quiet, loaded;
    for (int k = 0; k < kWithHistory; ++k)
        sample(first, k, keys);
    for (int k = 0; k < kSamples; ++k)
        sample(quiet, k, keys);
    {
        const CoreLoad load;
        for (int k = 0; k < kSamples; ++k)
            sample(loaded, k, keys);
    }
    if (completed.load() >= kBatch)
        std::printf("bench insight: the batch ended before the answers were timed\n");
    addFigures(out, quiet, "");
    addFigures(out, loaded, ".loaded");
    return out;
});

} // namespace
