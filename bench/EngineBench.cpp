// Benchmarks of the engine's task list over 10,000 stored tasks, none due: the memory they take
// once loaded, loading them and refreshing them after one changed, each against the raw
// enumeration and value reads of the same keys, one queue build plus the next-run search against
// that load, and the running engine's CPU time while it holds them.
#include "BenchCase.h"
#include "BenchScratchHive.h"
#include "EngineLoopBench.h"

#include "common/Clock.h"
#include "common/UniqueHandle.h"
#include "engine/TaskManager.h"
#include "store/KsTask.h"

#include <psapi.h>

#include <string>
#include <vector>

namespace {

constexpr int kTasks = 10000;

void storeTasks()
{
    KSTASKINFO record = {};
    record.dwSize = sizeof record;
    record.dwTaskType = KS_TASK_SCHEDULED;
    record.dwTaskTrigType = KS_TRIGGER_PROCESS;
    wchar_t trigger[] = L"C:\\Tools\\scan.exe";
    record.pwszTaskTrigger = trigger;
    record.dwDefaultFreq = 86400;
    record.dwNextRun = Keelwork::Clock::current().now() + 86400;
    for (int i = 0; i < kTasks; ++i) {
        wchar_t name[32];
        _snwprintf(name, 32, L"task%05d", i);
        CKsTask task(name);
        task.Assign(&record);
        task.Write();
    }
}

// What a load cannot avoid: enumerate the task keys, open each and read every value. Gives the
// bytes of value data read.
size_t rawLoad()
{
    size_t bytes = 0;
    Keelwork::unique_hkey parent;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KsStore::kSchedulerKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, parent.put());
    BYTE data[2080];
    for (DWORD index = 0;; ++index) {
        wchar_t name[128];
        DWORD chars = 128;
        if (::RegEnumKeyExW(parent.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        Keelwork::unique_hkey key;
        ::RegOpenKeyExW(parent.get(), name, 0, KEY_READ | KEY_WOW64_64KEY, key.put());
        for (DWORD value = 0;; ++value) {
            wchar_t valueName[64];
            DWORD valueChars = 64;
            DWORD size = sizeof data;
            if (::RegEnumValueW(key.get(), value, valueName, &valueChars, nullptr, nullptr, data, &size) !=
                ERROR_SUCCESS)
                break;
            bytes += size;
        }
    }
    return bytes;
}

size_t workingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

// Working-set growth per loaded task, against the value data each task holds in the registry. It
// runs before the group's other loads of these tasks: a load after them would reuse the heap pages
// they freed and show almost no growth.
ksbench::Figure loadedMemory()
{
    Keelwork::engine::CKsTaskManager manager(3600, nullptr);
    const size_t before = workingSet();
    manager.GatherAllTasks();
    const double grown = static_cast<double>(workingSet()) - static_cast<double>(before);
    return {grown / kTasks, static_cast<double>(rawLoad()) / kTasks, "B/task"};
}

// One task changed, then the refresh, which re-reads every task, against the raw reads; only the
// refresh is timed. Milliseconds.
ksbench::Figure refreshOneChange(Keelwork::engine::CKsTaskManager& manager)
{
    std::vector<double> measured, raw;
    for (DWORD r = 1; r <= 3; ++r) {
        CKsTask changed(L"task00000");
        changed.Read();
        changed.dwDefaultFreq = 86400 + r;
        changed.Write();
        double start = ksbench::nowMicros();
        manager.Refresh();
        measured.push_back((ksbench::nowMicros() - start) / 1000.0);
        start = ksbench::nowMicros();
        rawLoad();
        raw.push_back((ksbench::nowMicros() - start) / 1000.0);
    }
    return {ksbench::median(measured), ksbench::median(raw), "ms"};
}

ksbench::Register registerEngine("engine", [] {
    ksbench::ScratchHive hive(L"Software\\KsBench\\Engine");
    storeTasks();
    std::vector<std::pair<std::string, ksbench::Figure>> out;
    out.emplace_back("engine.memory", loadedMemory());

    ksbench::Figure gather = ksbench::compare(
        3, 1,
        [] {
            Keelwork::engine::CKsTaskManager manager(3600, nullptr);
            manager.GatherAllTasks();
        },
        rawLoad, "ms");
    gather.value /= 1000.0;
    gather.floor /= 1000.0;
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

    ksbench::Figure refresh = refreshOneChange(manager);
    out.emplace_back("engine.refresh_one_change", refresh);
    out.emplace_back("engine.refresh_one_change.per_task",
                     ksbench::Figure{refresh.value * 1000.0 / kTasks, refresh.floor * 1000.0 / kTasks, "us/task"});

    for (auto& figure : ksbench::engineIdleCpu())
        out.push_back(std::move(figure));
    return out;
});

} // namespace
