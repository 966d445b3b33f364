// Benchmarks of the engine's task list over 10,000 stored tasks, none due: the memory they take
// once loaded, loading them and re-reading them all, each against the raw enumeration and value
// reads of the same keys, refreshing them after one changed against reading that one task, one
// queue build plus the next-run search against that load, the running engine's CPU time while it
// holds them, and a launch's lateness while they change.
#include "BenchCase.h"
#include "BenchScratchHive.h"
#include "BenchTaskList.h"
#include "EngineLoopBench.h"

#include "common/UniqueHandle.h"
#include "engine/TaskManager.h"
#include "management/TaskManagement.h"
#include "store/KsTask.h"

#include <string>
#include <thread>
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

    out.emplace_back("engine.refresh_one_change", ksbench::refreshOneChange(manager));
    out.emplace_back("engine.refresh_one_write",
                     ksbench::refreshOneChange(manager, Keelwork::engine::RefreshScope::written));
    // The whole re-read (at start, and where a change cannot be told) against the raw reads.
    ksbench::Figure whole = ksbench::compare(3, 1, [&] { manager.Refresh(); }, [] { ksbench::rawLoad(); }, "ms");
    whole.value /= 1000.0;
    whole.floor /= 1000.0;
    out.emplace_back("engine.refresh_whole", whole);

    for (auto& figure : ksbench::engineIdleCpu())
        out.push_back(std::move(figure));
    return out;
});

// A launch's lateness at 10,000 tasks, quiet, then while another thread changes one of them 20
// times a second through task management; goal: p99 within 1.2 of the floor.
ksbench::Register latenessUnderChanges("engine.changes", [] {
    ksbench::ScratchHive hive(L"Software\\KsBench\\EngineChanges");
    ksbench::storeIdleTasks(0, kTasks);
    Keelwork::unique_event stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread changer;
    auto changes = [&stop] {
        constexpr double kEveryMs = 50;
        Orbis::TaskManagement management;
        const double start = ksbench::nowMicros() / 1000.0;
        for (int n = 1;; ++n) {
            const double wait = start + n * kEveryMs - ksbench::nowMicros() / 1000.0;
            if (::WaitForSingleObject(stop.get(), wait > 0 ? static_cast<DWORD>(wait) : 0) != WAIT_TIMEOUT)
                return;
            management.modifyTask(ksbench::taskName((n * 7919) % kTasks),
                                  L"{\"cmdParams\":\"/pass" + std::to_wstring(n) + L"\"}");
        }
    };
    // The same without the changes first: what 10,000 tasks alone cost a launch.
    auto out = ksbench::measureLateness("engine.lateness_10000_tasks", true);
    for (auto& figure : ksbench::measureLateness("engine.lateness_under_changes", true,
                                                 [&] { changer = std::thread(changes); }))
        out.push_back(std::move(figure));
    ::SetEvent(stop.get());
    if (changer.joinable())
        changer.join();
    return out;
});

} // namespace
