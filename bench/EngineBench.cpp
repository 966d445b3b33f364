// Benchmarks of the engine's task list over 10,000 stored tasks, none due: the memory they take
// once loaded, loading them and refreshing them after one changed, each against the raw
// enumeration and value reads of the same keys, one queue build plus the next-run search against
// that load, and the running engine's CPU time while it holds them.
#include "BenchCase.h"
#include "BenchScratchHive.h"
#include "BenchTaskList.h"
#include "EngineLoopBench.h"

#include "engine/TaskManager.h"
#include "store/KsTask.h"

#include <string>
#include <vector>

namespace {

constexpr int kTasks = 10000;

ksbench::Register registerEngine("engine", [] {
    ksbench::ScratchHive hive(L"Software\\KsBench\\Engine");
    ksbench::storeIdleTasks(0, kTasks);
    std::vector<std::pair<std::string, ksbench::Figure>> out;
    {
        // Before the group's other loads, which would leave freed heap pages for it to reuse.
        Keelwork::engine::CKsTaskManager loaded(3600, nullptr);
        out.emplace_back("engine.memory", ksbench::loadedMemory(loaded, kTasks));
    }
    const ksbench::Figure gather = ksbench::gatherMillis(3);
    out.emplace_back("engine.gather", gather);

    // The queue build of the three timed types and the next-run search, per task, against the
    // load per task.
    Keelwork::engine::CKsTaskManager manager(3600, nullptr);
    manager.GatherAllTasks();
    ksbench::Figure queue;
    queue.value = ksbench::medianMicros(5, 1, [&] {
                      for (DWORD type : {KS_TASK_CUSTOM, KS_TASK_PRESET, KS_TASK_SCHEDULED})
                          manager._AddToQ(type, 0, 0, 0);
                      manager.FindMinNextRunTime();
                  }) /
                  kTasks;
    queue.floor = gather.value * 1000.0 / kTasks;
    queue.unit = "us/task";
    out.emplace_back("engine.queue", queue);

    ksbench::Figure refresh = ksbench::refreshOneChange(manager);
    out.emplace_back("engine.refresh_one_change", refresh);
    out.emplace_back("engine.refresh_one_change.per_task",
                     ksbench::Figure{refresh.value * 1000.0 / kTasks, refresh.floor * 1000.0 / kTasks, "us/task"});

    for (auto& figure : ksbench::engineIdleCpu())
        out.push_back(std::move(figure));
    return out;
});

} // namespace
