// Task management benchmarks: a createTask and a queryTask call against the store work they
// cannot avoid (CKsTask Assign+Write of the same record, CKsTask Read of the same task).
#include "BenchCase.h"
#include "BenchScratchHive.h"

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

ksbench::Figure perSecond(const ksbench::Figure& perCall)
{
    ksbench::Figure f;
    f.value = 1e6 / perCall.value;
    f.floor = 1e6 / perCall.floor;
    f.unit = "calls/s";
    return f;
}

// The record the payload describes, as a store caller would hand it over.
KSTASKINFO_LANE payloadRecord()
{
    KSTASKINFO_LANE record = {};
    record.dwSize = sizeof(record);
    Orbis::TaskManagement::deserializeTask(kPayload, record);
    return record;
}

const ksbench::Register registerManagement("mgmt", [] {
    ksbench::ScratchHive hive(kScratch);
    Orbis::TaskManagement tasks;
    KSTASKINFO record = payloadRecord();
    Figures figures;

    const ksbench::Figure create = ksbench::compare(
        kRepetitions, kIterations, [&] { tasks.createTask(L"benchtask", kPayload); },
        [&] {
            CKsTask task(L"floortask");
            task.Assign(&record);
            task.Write();
        });
    figures.emplace_back("mgmt.createTask", create);
    figures.emplace_back("mgmt.createTask.rate", perSecond(create));

    std::wstring text;
    const ksbench::Figure query = ksbench::compare(
        kRepetitions, kIterations, [&] { tasks.queryTask(L"benchtask", text); },
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
