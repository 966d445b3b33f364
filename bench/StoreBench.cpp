// Task store benchmarks: protected values against plain registry values, a full task's Write and
// Read against the plain registry calls it cannot avoid, and a 1,000-task load as the engine's
// refresh does it.
#include "BenchCase.h"
#include "BenchScratchHive.h"

#include "common/UniqueHandle.h"
#include "registry/RegKey.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"
#include "store/TaskEnumeration.h"

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

const ksbench::Register registerStore("store", [] {
    ksbench::ScratchHive hive(kScratch);
    Figures all = protectedValueCases();
    for (auto& f : taskWriteReadCase())
        all.push_back(f);
    for (auto& f : refreshCase())
        all.push_back(f);
    return all;
});

} // namespace
