// Task store benchmarks: protected values against plain registry values, a full task's Write and
// Read against the plain registry calls it cannot avoid, a 1,000-task load as the engine's
// refresh does it, and task history appends and reads among 10,000 full histories.
#include "BenchCase.h"
#include "BenchScratchHive.h"

#include "common/UniqueHandle.h"
#include "registry/RegKey.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"
#include "store/TaskEnumeration.h"
#include "store/TaskHistory.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using Figures = std::vector<std::pair<std::string, ksbench::Figure>>;

constexpr const wchar_t* kScratch = L"Software\\KsBenchScratch\\store";
constexpr const wchar_t* kPlainPath = L"SOFTWARE\\Kestrel\\StoreBenchPlain";
constexpr const wchar_t* kText = L"C:\\Program Files\\Kestrel\\Scanner\\scan.exe";

KSTASKINFO customRecord()
{
    KSTASKINFO r{};
    r.dwSize = sizeof(KSTASKINFO);
    r.dwTaskType = KS_TASK_CUSTOM;
    r.pwszTaskTrigger = const_cast<wchar_t*>(kText);
    r.pwszTaskParams = const_cast<wchar_t*>(L"/quick /silent");
    r.pwszTaskEventName = const_cast<wchar_t*>(L"Global\\KsScanDone");
    r.dwDefaultFreq = 604800;
    r.dwBatteryWise = 1;
    r.dwMeteredAccessWise = 1;
    r.dwDayOfWeekMask = 0x22;
    r.dwInterval = KS_INTERVAL_WEEKLY;
    r.dwHour = 9;
    r.dwMinute = 30;
    r.nPriority = KS_PRIORITY_NORMAL;
    r.pwszPresetCategory = const_cast<wchar_t*>(L"scan");
    r.dwPresetId = 2;
    r.pwszUser = const_cast<wchar_t*>(L"alice");
    r.pwszDomain = const_cast<wchar_t*>(L"HOME");
    r.dwRunInRetailMode = 1;
    r.pwszAppid = const_cast<wchar_t*>(L"kestrel.scanner");
    r.pwszRuleName = const_cast<wchar_t*>(L"weekly-scan");
    return r;
}

// The values a full custom task stores, in plain form: name and whether it is text.
struct PlainValue {
    const wchar_t* name;
    bool text;
};
const PlainValue kTaskValues[] = {
    {L"TaskType", false}, {L"TaskTrigType", false}, {L"TaskTrigger", true}, {L"TaskParams", true},
    {L"TaskEventName", true}, {L"NextRun", false}, {L"DefaultFreq", false}, {L"TaskBatteryWise", false},
    {L"TaskMeteredAccessWise", false}, {L"DayOfWeekMask", false}, {L"Interval", false}, {L"Hour", false},
    {L"Minute", false}, {L"PresetCategory", true}, {L"PresetId", false}, {L"RunInUserContext", false},
    {L"RepeatTask", false}, {L"RunWhenIdle", false}, {L"Priority", false}, {L"User", true},
    {L"Domain", true}, {L"RunInRetailMode", false}, {L"Appid", true}, {L"RuleName", true},
};

void plainWriteAll(HKEY key)
{
    DWORD number = 7;
    for (const PlainValue& v : kTaskValues) {
        if (v.text)
            RegSetValueExW(key, v.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(kText),
                           static_cast<DWORD>((std::wcslen(kText) + 1) * sizeof(wchar_t)));
        else
            RegSetValueExW(key, v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
}

void plainReadAll(HKEY key)
{
    BYTE buffer[2080];
    for (const PlainValue& v : kTaskValues) {
        DWORD type = 0;
        DWORD size = sizeof buffer;
        RegQueryValueExW(key, v.name, nullptr, &type, buffer, &size);
    }
}

Figures protectedValueCases()
{
    Keelwork::CRegKey key;
    key.create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\StoreBench", KEY_READ | KEY_WRITE | KEY_WOW64_64KEY);
    Keelwork::unique_hkey plainKey;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPlainPath, 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                    plainKey.put(), nullptr);
    const HKEY plain = plainKey.get();
    Figures out;

    uint32_t counter = 0;
    out.emplace_back("store.protected_dword_write_read",
                     ksbench::compare(
                         9, 400,
                         [&] {
                             uint32_t value = 0;
                             KsStore::writeProtectedDword(key, L"NextRun", ++counter);
                             KsStore::readProtectedDword(key, L"NextRun", value);
                         },
                         [&] {
                             DWORD value = ++counter;
                             RegSetValueExW(plain, L"NextRun", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                                            sizeof value);
                             DWORD type = 0;
                             DWORD size = sizeof value;
                             RegQueryValueExW(plain, L"NextRun", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
                         }));

    const DWORD textBytes = static_cast<DWORD>((std::wcslen(kText) + 1) * sizeof(wchar_t));
    out.emplace_back("store.protected_string_write_read",
                     ksbench::compare(
                         9, 400,
                         [&] {
                             wchar_t buffer[1040];
                             KsStore::writeProtectedString(key, L"TaskTrigger", kText);
                             KsStore::readProtectedString(key, L"TaskTrigger", buffer, 1040);
                         },
                         [&] {
                             wchar_t buffer[1040];
                             RegSetValueExW(plain, L"TaskTrigger", 0, REG_SZ, reinterpret_cast<const BYTE*>(kText),
                                            textBytes);
                             DWORD type = 0;
                             DWORD size = sizeof buffer;
                             RegQueryValueExW(plain, L"TaskTrigger", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                                              &size);
                         }));
    return out;
}

Figures taskWriteReadCase()
{
    KSTASKINFO record = customRecord();
    CKsTask task(L"benchtask");
    task.Assign(&record);
    Figures out;
    out.emplace_back("store.task_write_read",
                     ksbench::compare(
                         9, 40,
                         [&] {
                             task.Write();
                             task.Read();
                         },
                         [&] {
                             // What the pair cannot avoid: create the key, set every value, open
                             // it again, query every value.
                             Keelwork::unique_hkey key;
                             RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPlainPath, 0, nullptr, 0,
                                             KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr);
                             plainWriteAll(key.get());
                             RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPlainPath, 0, KEY_READ | KEY_WOW64_64KEY, key.put());
                             plainReadAll(key.get());
                         }));
    // Leave the parent to the refresh case's own tasks.
    task.Delete();
    return out;
}

Figures refreshCase()
{
    constexpr int kTasks = 1000;
    const std::wstring plainParent = L"SOFTWARE\\Kestrel\\PlainScheduler";
    KSTASKINFO record = customRecord();
    for (int i = 0; i < kTasks; ++i) {
        wchar_t name[32];
        _snwprintf(name, 32, L"task%04d", i);
        CKsTask task(name);
        task.Assign(&record);
        task.Write();
        Keelwork::unique_hkey key;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, (plainParent + L"\\" + name).c_str(), 0, nullptr, 0,
                        KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr);
        plainWriteAll(key.get());
    }

    size_t loaded = 0;
    auto refresh = [&] {
        std::vector<std::wstring> names;
        KsStore::enumerateTaskNames(KsStore::TaskParent::enabled, names);
        for (const std::wstring& name : names) {
            CKsTask task(name.c_str());
            loaded += task.Read() ? 1 : 0;
        }
    };
    auto floor = [&] {
        Keelwork::unique_hkey parent;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, plainParent.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, parent.put());
        for (DWORD index = 0;; ++index) {
            wchar_t name[128];
            DWORD chars = 128;
            if (RegEnumKeyExW(parent.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            Keelwork::unique_hkey key;
            RegOpenKeyExW(parent.get(), name, 0, KEY_READ | KEY_WOW64_64KEY, key.put());
            plainReadAll(key.get());
        }
    };
    ksbench::Figure f = ksbench::compare(3, 1, refresh, floor, "us/task");
    f.value /= kTasks;
    f.floor /= kTasks;
    if (loaded != 3u * kTasks)
        std::fprintf(stderr, "store.refresh_1000: loaded %zu of %d tasks\n", loaded, 3 * kTasks);
    return {{"store.refresh_1000_per_task", f}};
}

// The raw work of one history access: open the key, read the value (and write it back).
void rawHistoryAccess(const std::wstring& name, bool writeBack)
{
    Keelwork::unique_hkey key;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, KsStore::kSchedulerHistoryKeyPath, 0,
                  KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, key.put());
    BYTE blob[KsStore::kMaxProtectedBlobBytes];
    DWORD type = 0;
    DWORD size = sizeof blob;
    RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, blob, &size);
    if (writeBack)
        RegSetValueExW(key.get(), name.c_str(), 0, REG_BINARY, blob, size);
}

Figures historyCases()
{
    constexpr int kTasks = 10000;
    std::vector<std::wstring> names;
    for (int i = 0; i < kTasks; ++i) {
        wchar_t name[32];
        _snwprintf(name, 32, L"history%05d", i);
        names.emplace_back(name);
        // The history asks only whether the task's key is there.
        Keelwork::unique_hkey key;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(KsStore::kSchedulerKeyPath) + L"\\" + name).c_str(), 0,
                        nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr);
    }
    KsStore::HistoryEntry entry{1700000000, KsStore::HistoryEvent::launched, true, 0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < KsStore::kMaxHistoryEntries; ++i, entry.time += 60)
        KsStore::TaskHistory::append(names[0].c_str(), entry);
    {
        // Every other task gets a copy of the first one's full history.
        Keelwork::unique_hkey key;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, KsStore::kSchedulerHistoryKeyPath, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, key.put());
        BYTE blob[KsStore::kMaxProtectedBlobBytes];
        DWORD size = sizeof blob;
        RegQueryValueExW(key.get(), names[0].c_str(), nullptr, nullptr, blob, &size);
        for (int i = 1; i < kTasks; ++i)
            RegSetValueExW(key.get(), names[i].c_str(), 0, REG_BINARY, blob, size);
    }

    // Each access goes to another task, far from the last one, as the engine's would.
    size_t next = 0;
    auto task = [&]() -> const std::wstring& { return names[(next += 337) % kTasks]; };
    Figures out;
    out.emplace_back("store.history.append",
                     ksbench::compare(
                         9, 200, [&] { KsStore::TaskHistory::append(task().c_str(), entry); },
                         [&] { rawHistoryAccess(task(), true); }));
    size_t entries = 0;
    out.emplace_back("store.history.read",
                     ksbench::compare(
                         9, 200, [&] { entries += KsStore::TaskHistory::read(task().c_str(), 20).entries.size(); },
                         [&] { rawHistoryAccess(task(), false); }));
    if (entries != 9u * 200 * 20)
        std::fprintf(stderr, "store.history.read: read %zu entries, expected %u\n", entries, 9u * 200 * 20);
    return out;
}

const ksbench::Register registerStore("store", [] {
    ksbench::ScratchHive hive(kScratch);
    Figures all = protectedValueCases();
    for (auto& f : taskWriteReadCase())
        all.push_back(f);
    for (auto& f : refreshCase())
        all.push_back(f);
    for (auto& f : historyCases())
        all.push_back(f);
    return all;
});

} // namespace
