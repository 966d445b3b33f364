// The stored task list and its figures, shared by the engine and growth groups.
#include "BenchTaskList.h"

#include "common/ChangedTasks.h"
#include "common/Clock.h"
#include "common/UniqueHandle.h"
#include "engine/TaskManager.h"
#include "management/TaskManagement.h"
#include "store/KsTask.h"

#include <psapi.h>

#include <cstdio>
#include <vector>

namespace ksbench {

namespace {
size_t workingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}
} // namespace

std::wstring taskName(int i)
{
    wchar_t name[32];
    _snwprintf(name, 32, L"task%05d", i);
    return name;
}

void storeIdleTasks(int from, int to)
{
    KSTASKINFO record = {};
    record.dwSize = sizeof record;
    record.dwTaskType = KS_TASK_SCHEDULED;
    record.dwTaskTrigType = KS_TRIGGER_PROCESS;
    wchar_t trigger[] = L"C:\\Tools\\scan.exe";
    record.pwszTaskTrigger = trigger;
    record.dwDefaultFreq = 86400;
    record.dwNextRun = Keelwork::Clock::current().now() + 86400;
    for (int i = from; i < to; ++i) {
        CKsTask task(taskName(i).c_str());
        task.Assign(&record);
        task.Write();
    }
}

void deleteTasks(int from, int to)
{
    for (int i = from; i < to; ++i)
        CKsTask(taskName(i).c_str()).Delete();
}

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

Figure loadedMemory(Keelwork::engine::CKsTaskManager& manager, int tasks)
{
    const size_t before = workingSet();
    manager.GatherAllTasks();
    const double grown = static_cast<double>(workingSet()) - static_cast<double>(before);
    return {grown / tasks, static_cast<double>(rawLoad()) / tasks, "B/task"};
}

Figure gatherMillis(int repetitions)
{
    Figure gather = compare(
        repetitions, 1,
        [] {
            Keelwork::engine::CKsTaskManager manager(3600, nullptr);
            manager.GatherAllTasks();
        },
        [] { rawLoad(); }, "ms");
    gather.value /= 1000.0;
    gather.floor /= 1000.0;
    return gather;
}

Figure refreshOneChange(Keelwork::engine::CKsTaskManager& manager, Keelwork::engine::RefreshScope scope)
{
    Keelwork::ChangedTasks::ofProcess().attach();
    std::vector<double> measured, floor;
    for (DWORD r = 1; r <= 9; ++r) {
        const std::wstring name = taskName(static_cast<int>(r));
        CKsTask changed(name.c_str());
        changed.Read();
        changed.dwDefaultFreq = 86400 + r;
        changed.Write();
        if (scope == Keelwork::engine::RefreshScope::named)
            Orbis::TaskManagement::signalEngine(name);
        double start = nowMicros();
        manager.Refresh(scope);
        measured.push_back((nowMicros() - start) / 1000.0);
        start = nowMicros();
        CKsTask(name.c_str()).Read();
        floor.push_back((nowMicros() - start) / 1000.0);
    }
    Keelwork::ChangedTasks::ofProcess().detach();
    return {median(measured), median(floor), "ms"};
}

std::pair<double, double> answerMillis(int samples, const std::function<std::wstring(int k)>& nameOf,
                                       const std::function<std::wstring(const std::wstring& payload)>& answer)
{
    std::vector<double> millis;
    for (int k = 0; k < samples; ++k) {
        const std::wstring payload = L"{\"name\":\"" + nameOf(k) + L"\",\"count\":50}";
        const double start = nowMicros();
        const std::wstring reply = answer(payload);
        millis.push_back((nowMicros() - start) / 1000.0);
        if (reply.find(L"\"status\":true") == std::wstring::npos)
            std::printf("bench: a request about %ls was refused\n", nameOf(k).c_str());
    }
    return {percentile(millis, 50), percentile(millis, 99)};
}

} // namespace ksbench
