// How the engine's costs grow with its task list: at 1,000, 3,000 and 10,000 stored tasks, none
// due, the start-up gather, one refresh after one task changed, one Explain (the median of 200),
// the memory per loaded task and the CPU time while the engine idles; a line per size, then the
// ratio of the largest size's figure to the smallest's. The figures come from the same helpers
// as the engine and insight groups; the idle window is 10 s, not their 30 s, to keep this group
// to a few minutes (under Wine the CPU counters tick in 10 ms, so a quiet engine reads 0 or 10).
// It is long, so it runs only when named: `ksbench growth`.
#include "BenchSampleTask.h"
#include "BenchScratchHive.h"
#include "BenchTaskList.h"
#include "EngineLoopBench.h"

#include "common/Clock.h"
#include "engine/TaskManager.h"
#include "insight/InsightReplies.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::array<int, 3> kSizes = {1000, 3000, 10000};
constexpr DWORD kIdleWindowMs = 10000;
constexpr int kExplainSamples = 200;

struct Row {
    double gather = 0;   // ms
    double refresh = 0;  // ms
    double explain = 0;  // ms
    double memory = 0;   // bytes per task
    double idle = 0;     // process CPU ms over the idle window
};

// The memory of each size is taken first, sizes growing, each manager kept: a load after another
// was freed would reuse its heap pages and show almost no growth.
void measureMemory(std::array<Row, kSizes.size()>& rows)
{
    std::vector<std::unique_ptr<Keelwork::engine::CKsTaskManager>> kept;
    int stored = 0;
    for (size_t i = 0; i < kSizes.size(); ++i) {
        ksbench::storeIdleTasks(stored, kSizes[i]);
        stored = kSizes[i];
        kept.push_back(std::make_unique<Keelwork::engine::CKsTaskManager>(3600, nullptr));
        rows[i].memory = ksbench::loadedMemory(*kept.back(), kSizes[i]).value;
    }
}

// The times at `size` tasks stored; false when the engine did not start.
bool measureTimes(int size, Row& row)
{
    row.gather = ksbench::gatherMillis(3).value;
    {
        Keelwork::engine::CKsTaskManager manager(3600, nullptr);
        manager.GatherAllTasks();
        row.refresh = ksbench::refreshOneChange(manager).value;
    }
    ksbench::EngineThread engine;
    if (!engine.running())
        return false;
    row.idle = ksbench::measureIdleCpu(engine, kIdleWindowMs).processMs;
    const KsInsight::BoardStateSource board;
    row.explain = ksbench::answerMillis(
                      kExplainSamples, [size](int k) { return ksbench::taskName(k * (size / kExplainSamples)); },
                      [&board](const std::wstring& payload) {
                          return KsInsight::explainReply(payload, board, Keelwork::Clock::current().now());
                      })
                      .first;
    return true;
}

// "-" where the smallest size's figure is 0 (an idle engine often uses no measurable CPU).
std::string ratio(double largest, double smallest)
{
    if (smallest <= 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", largest / smallest);
    return text;
}

ksbench::Register growth(
    "growth",
    [] {
        ksbench::ScratchHive hive(L"Software\\KsBench\\Growth");
        ksbench::prepareLaunches(ksbench::sampleTaskPath());  // the bus library is found beside it
        std::array<Row, kSizes.size()> rows;
        measureMemory(rows);
        // The times, sizes shrinking: the list is cut down rather than stored again.
        int stored = kSizes.back();
        for (size_t i = kSizes.size(); i-- > 0;) {
            ksbench::deleteTasks(kSizes[i], stored);
            stored = kSizes[i];
            if (!measureTimes(kSizes[i], rows[i])) {
                std::printf("bench growth: the engine did not start at %d tasks\n", kSizes[i]);
                return std::vector<std::pair<std::string, ksbench::Figure>>{};
            }
        }
        std::printf("bench growth: tasks; gather ms; refresh ms; explain ms; memory bytes/task; idle CPU ms/%lus\n",
                    kIdleWindowMs / 1000);
        for (size_t i = 0; i < kSizes.size(); ++i)
            std::printf("bench growth %d: gather %.2f ms; refresh %.2f ms; explain %.3f ms; memory %.0f bytes/task; "
                        "idle %.0f ms/%lus\n",
                        kSizes[i], rows[i].gather, rows[i].refresh, rows[i].explain, rows[i].memory, rows[i].idle,
                        kIdleWindowMs / 1000);
        const Row& large = rows.back();
        const Row& small = rows.front();
        std::printf("bench growth ratio %d/%d: gather %s; refresh %s; explain %s; memory %s; idle %s\n",
                    kSizes.back(), kSizes.front(), ratio(large.gather, small.gather).c_str(),
                    ratio(large.refresh, small.refresh).c_str(), ratio(large.explain, small.explain).c_str(),
                    ratio(large.memory, small.memory).c_str(), ratio(large.idle, small.idle).c_str());
        return std::vector<std::pair<std::string, ksbench::Figure>>{};
    },
    true);

} // namespace
