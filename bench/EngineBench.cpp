// Benchmarks of the engine's task list over 10,000 stored tasks, none due: the memory they take
// once loaded, loading them and re-reading them all, each against the raw enumeration and value
// reads of the same keys, refreshing them after one changed against reading that one task, one queue build plus the next-run search against
// that load, the running engine's CPU time while it holds them, and a launch's lateness while
// they change.
#include "BenchCase.h"
#include "BenchScratchHive.h"
#include "EngineLoopBench.h"

#include "common/ChangedTasks.h"
#include "common/Clock.h"
#include "common/UniqueHandle.h"
#include "engine/TaskManager.h"
#include "management/TaskManagement.h"
#include "store/KsTask.h"

#include <psapi.h>

#include <string>
#include <thread>
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

// One task changed, as task management changes it (`scope` named) or as another process does
// (written), then the refresh, against reading that one task; only the refresh is timed.
// Milliseconds.
ksbench::Figure refreshOneChange(Keelwork::engine::CKsTaskManager& manager, Keelwork::engine::RefreshScope scope)
{
    Keelwork::ChangedTasks::ofProcess().attach();
    std::vector<double> measured, floor;
    for (DWORD r = 1; r <= 9; ++r) {
        const std::wstring name = L"task0" + std::to_wstring(1000 * r);
        CKsTask changed(name.c_str());
        changed.Read();
        changed.dwDefaultFreq = 86400 + r;
        changed.Write();
        if (scope == Keelwork::engine::RefreshScope::named)
            Orbis::TaskManagement::signalEngine(name);
        double start = ksbench::nowMicros();
        manager.Refresh(scope);
        measured.push_back((ksbench::nowMicros() - start) / 1000.0);
        start = ksbench::nowMicros();
        CKsTask(name.c_str()).Read();
        floor.push_back((ksbench::nowMicros() - start) / 1000.0);
    }
    Keelwork::ChangedTasks::ofProcess().detach();
    return {ksbench::median(measured), ksbench::median(floor), "ms"};
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

    out.emplace_back("engine.refresh_one_change", refreshOneChange(manager, Keelwork::engine::RefreshScope::named));
    out.emplace_back("engine.refresh_one_write", refreshOneChange(manager, Keelwork::engine::RefreshScope::written));
    // The whole re-read (at start, and where a change cannot be told) against the raw reads.
    ksbench::Figure whole = ksbench::compare(3, 1, [&] { manager.Refresh(); }, rawLoad, "ms");
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
    storeTasks();
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
            wchar_t name[32];
            _snwprintf(name, 32, L"task%05d", (n * 7919) % kTasks);
            management.modifyTask(name, L"{\"cmdParams\":\"/pass" + std::to_wstring(n) + L"\"}");
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
