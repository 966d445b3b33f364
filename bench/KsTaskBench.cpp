// kstask's list over 10,000 stored tasks, each with a history entry, against what it cannot
// avoid: the raw enumeration and value reads of the same keys (every task key with all its
// values, every history value, the state key).
#include "BenchCase.h"
#include "BenchScratchHive.h"

#include "KsTaskTool.h"

#include "common/Clock.h"
#include "common/UniqueHandle.h"
#include "state/StateKey.h"
#include "store/KsTask.h"
#include "store/TaskHistory.h"

#include <string>
#include <vector>

namespace {

constexpr int kTasks = 10000;

// Periodic, weekly and logon tasks in turn, each launched once.
void storeTasks()
{
    const uint32_t now = Keelwork::Clock::current().now();
    KSTASKINFO record = {};
    record.dwSize = sizeof record;
    record.dwTaskTrigType = KS_TRIGGER_PROCESS;
    wchar_t trigger[] = L"C:\\Tools\\scan.exe";
    record.pwszTaskTrigger = trigger;
    for (int i = 0; i < kTasks; ++i) {
        const DWORD types[] = {KS_TASK_SCHEDULED, KS_TASK_CUSTOM, KS_TASK_LOGON};
        record.dwTaskType = types[i % 3];
        record.dwDefaultFreq = record.dwTaskType == KS_TASK_LOGON ? 3 : 3600 + static_cast<uint32_t>(i);
        record.dwNextRun = record.dwTaskType == KS_TASK_LOGON ? 0 : now + static_cast<uint32_t>(i);
        record.dwDayOfWeekMask = record.dwTaskType == KS_TASK_CUSTOM ? 0x22 : 0;
        record.dwInterval = record.dwTaskType == KS_TASK_CUSTOM ? uint32_t{KS_INTERVAL_WEEKLY} : 0u;
        wchar_t name[32];
        _snwprintf(name, 32, L"task%05d", i);
        CKsTask task(name);
        task.Assign(&record);
        task.Write();
        KsStore::HistoryEntry entry;
        entry.time = now - 60;
        entry.exitCodeKnown = true;
        KsStore::TaskHistory::append(name, entry);
    }
}

void readEveryValue(HKEY key, std::vector<BYTE>& data)
{
    for (DWORD value = 0;; ++value) {
        wchar_t valueName[256];
        DWORD valueChars = 256;
        DWORD size = static_cast<DWORD>(data.size());
        if (::RegEnumValueW(key, value, valueName, &valueChars, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS)
            break;
    }
}

void rawReads()
{
    std::vector<BYTE> data(8192);
    Keelwork::unique_hkey parent;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KsStore::kSchedulerKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, parent.put());
    for (DWORD index = 0;; ++index) {
        wchar_t name[128];
        DWORD chars = 128;
        if (::RegEnumKeyExW(parent.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        Keelwork::unique_hkey key;
        ::RegOpenKeyExW(parent.get(), name, 0, KEY_READ | KEY_WOW64_64KEY, key.put());
        readEveryValue(key.get(), data);
    }
    for (const wchar_t* path : {KsStore::kSchedulerHistoryKeyPath, KsState::kStateKeyPath}) {
        Keelwork::unique_hkey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) == ERROR_SUCCESS)
            readEveryValue(key.get(), data);
    }
}

ksbench::Register registerKsTask("kstask", [] {
    ksbench::ScratchHive hive(L"Software\\KsBench\\KsTask");
    storeTasks();
    const uint32_t now = Keelwork::Clock::current().now();
    ksbench::Figure list = ksbench::compare(
        3, 1, [now] { KsTaskTool::runTool({L"list"}, now); }, rawReads, "ms");
    list.value /= 1000.0;
    list.floor /= 1000.0;
    return std::vector<std::pair<std::string, ksbench::Figure>>{{"kstask.list", list}};
});

} // namespace
