// Task management benchmarks: a createTask and a queryTask call against the store work they
// cannot avoid (CKsTask Assign+Write of the same record, CKsTask Read of the same task).
#include "BenchCase.h"

#include "common/UniqueHandle.h"
#include "management/TaskManagement.h"
#include "store/KsTask.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Figures = std::vector<std::pair<std::string, ksbench::Figure>>;

constexpr const wchar_t* kScratch = L"Software\\KsBenchScratch\\mgmt";
constexpr int kRepetitions = 7;
constexpr int kIterations = 40;

const wchar_t* const kPayload =
    L"{\"taskType\":\"scheduled\",\"triggerType\":\"process\",\"taskTrigger\":\"C:\\\\Tools\\\\scan.exe\","
    L"\"cmdParams\":\"/quick\",\"completeEvent\":\"ScanDone\",\"nextRun\":\"1700000000\",\"defaultFreq\":\"86400\","
    L"\"batteryWise\":\"true\",\"meteredAccessWise\":\"true\",\"adminWise\":\"true\",\"daysOfWeek\":\"246\","
    L"\"interval\":\"biweekly\",\"runInUserContext\":\"true\",\"hour\":\"13\",\"minute\":\"45\",\"priority\":\"high\","
    L"\"repeat\":\"true\",\"runWhenIdle\":\"false\",\"presetCategory\":\"Scans\",\"presetId\":\"7\",\"userName\":\"alice\","
    L"\"domainName\":\"HOME\",\"runInRetail\":\"false\",\"appId\":\"app-1\",\"ruleName\":\"nightly\",\"enabled\":\"true\"}";

// HKEY_LOCAL_MACHINE redirected to a scratch key for the benchmark's lifetime.
class ScratchHive {
public:
    ScratchHive()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
        RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, m_key.put(), nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_key.get());
    }
    ~ScratchHive()
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        m_key.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    }
    ScratchHive(const ScratchHive&) = delete;
    ScratchHive& operator=(const ScratchHive&) = delete;

private:
    Keelwork::unique_hkey m_key;
};

// Times `measured` and `floor` alternately, so drift of the machine hits both alike.
ksbench::Figure compare(const std::function<void()>& measured, const std::function<void()>& floor)
{
    std::vector<double> a;
    std::vector<double> b;
    for (int r = 0; r < kRepetitions; ++r) {
        a.push_back(ksbench::medianMicros(1, kIterations, measured));
        b.push_back(ksbench::medianMicros(1, kIterations, floor));
    }
    ksbench::Figure f;
    f.value = ksbench::median(a);
    f.floor = ksbench::median(b);
    f.unit = "us";
    return f;
}

ksbench::Figure perSecond(const ksbench::Figure& perCall)
{
    ksbench::Figure f;
    f.value = 1e6 / perCall.value;
    f.floor = 1e6 / perCall.floor;
    f.unit = "calls/s";
    return f;
}

// The record the payload describes, as a store caller would hand it over.
KSTASKINFO payloadRecord()
{
    KSTASKINFO record = {};
    record.dwSize = sizeof(record);
    Orbis::TaskManagement::deserializeTask(kPayload, record);
    return record;
}

const ksbench::Register registerManagement("mgmt", [] {
    ScratchHive hive;
    Orbis::TaskManagement tasks;
    KSTASKINFO record = payloadRecord();
    Figures figures;

    const ksbench::Figure create = compare([&] { tasks.createTask(L"benchtask", kPayload); },
                                           [&] {
                                               CKsTask task(L"floortask");
                                               task.Assign(&record);
                                               task.Write();
                                           });
    figures.emplace_back("mgmt.createTask", create);
    figures.emplace_back("mgmt.createTask.rate", perSecond(create));

    std::wstring text;
    const ksbench::Figure query = compare([&] { tasks.queryTask(L"benchtask", text); },
                                          [&] {
                                              CKsTask task(L"floortask");
                                              task.Read();
                                          });
    figures.emplace_back("mgmt.queryTask", query);
    figures.emplace_back("mgmt.queryTask.rate", perSecond(query));
    KsStore::freeStrings(record);
    return figures;
});

} // namespace
