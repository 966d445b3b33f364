// Benchmarks of the registry key class and the change monitor against the raw registry calls
// they cannot avoid.
#include "BenchCase.h"

#include "common/UniqueHandle.h"
#include "registry/RegKey.h"
#include "registry/monitored_reg_key.h"

namespace {

// A scratch key of the benchmark's own, outside anything the system reads.
constexpr const wchar_t* kBenchPath = L"Software\\KsBenchRegistry";
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;
constexpr int kRepetitions = 7;
constexpr int kIterations = 200;

ksbench::Figure readCases(Keelwork::CRegKey& key, bool text)
{
    ksbench::Figure f{0, 0, "us"};
    if (text) {
        key.setStringValue(L"s", L"C:\\Program Files\\Kestrel\\Scheduler\\task.exe");
        std::wstring value;
        f.value = ksbench::medianMicros(kRepetitions, kIterations, [&] { key.getStringValue(L"s", value); });
        f.floor = ksbench::medianMicros(kRepetitions, kIterations, [&] {
            wchar_t buffer[128];
            DWORD type = 0;
            DWORD size = sizeof buffer;
            RegQueryValueExW(key.get(), L"s", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        });
    } else {
        key.setDwordValue(L"d", 7);
        DWORD value = 0;
        f.value = ksbench::medianMicros(kRepetitions, kIterations, [&] { key.getDwordValue(L"d", value); });
        f.floor = ksbench::medianMicros(kRepetitions, kIterations, [&] {
            DWORD raw = 0;
            DWORD type = 0;
            DWORD size = sizeof raw;
            RegQueryValueExW(key.get(), L"d", nullptr, &type, reinterpret_cast<BYTE*>(&raw), &size);
        });
    }
    return f;
}

ksbench::Figure writeCase(Keelwork::CRegKey& key)
{
    DWORD n = 0;
    ksbench::Figure f{0, 0, "us"};
    f.value = ksbench::medianMicros(kRepetitions, kIterations, [&] { key.setDwordValue(L"w", ++n); });
    f.floor = ksbench::medianMicros(kRepetitions, kIterations, [&] {
        ++n;
        RegSetValueExW(key.get(), L"w", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n);
    });
    return f;
}

// From a value write to the callback running on the watcher thread. A write that lands before
// the watcher has re-armed is not seen; such samples are dropped.
double monitorLatency(Keelwork::CRegKey& writer, int samples)
{
    Keelwork::monitored_reg_key monitor;
    monitor.openKey(HKEY_CURRENT_USER, kBenchPath, KEY_READ | KEY_NOTIFY | KEY_WOW64_64KEY);
    Keelwork::unique_event called(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    monitor.startMonitoring([&] { SetEvent(called.get()); }, false, REG_NOTIFY_CHANGE_LAST_SET);
    std::vector<double> taken;
    DWORD n = 0;
    for (int attempt = 0; attempt < samples * 4 && static_cast<int>(taken.size()) < samples; ++attempt) {
        double start = ksbench::nowMicros();
        writer.setDwordValue(L"m", ++n);
        if (WaitForSingleObject(called.get(), 50) == WAIT_OBJECT_0)
            taken.push_back(ksbench::nowMicros() - start);
        // Let the watcher re-arm before the next write.
        WaitForSingleObject(called.get(), 2);
    }
    monitor.stopMonitoring();
    return ksbench::median(taken);
}

double rawNotifyLatency(Keelwork::CRegKey& writer, int samples)
{
    Keelwork::CRegKey watched;
    watched.open(HKEY_CURRENT_USER, kBenchPath, KEY_READ | KEY_NOTIFY | KEY_WOW64_64KEY);
    Keelwork::unique_event changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::vector<double> taken;
    DWORD n = 1000000;
    for (int i = 0; i < samples; ++i) {
        RegNotifyChangeKeyValue(watched.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.get(), TRUE);
        double start = ksbench::nowMicros();
        writer.setDwordValue(L"m", ++n);
        if (WaitForSingleObject(changed.get(), 50) == WAIT_OBJECT_0)
            taken.push_back(ksbench::nowMicros() - start);
    }
    return ksbench::median(taken);
}

static ksbench::Register registryCases("registry", [] {
    std::vector<std::pair<std::string, ksbench::Figure>> lines;
    Keelwork::CRegKey key;
    if (key.create(HKEY_CURRENT_USER, kBenchPath, kAccess) != ERROR_SUCCESS)
        return lines;
    lines.emplace_back("registry.dword_read", readCases(key, false));
    lines.emplace_back("registry.string_read", readCases(key, true));
    lines.emplace_back("registry.dword_write", writeCase(key));
    ksbench::Figure monitor{0, 0, "us"};
    monitor.value = monitorLatency(key, 200);
    monitor.floor = rawNotifyLatency(key, 200);
    lines.emplace_back("registry.monitor_change", monitor);
    key.close();
    RegDeleteTreeW(HKEY_CURRENT_USER, kBenchPath);
    RegDeleteKeyExW(HKEY_CURRENT_USER, kBenchPath, KEY_WOW64_64KEY, 0);
    return lines;
});

} // namespace
