// Benchmarks of task execution: a program started through CCPHelper::RunProcess and waited for,
// and a whole CSingleTask::Launch of a trusted program, each against CreateProcessW and
// WaitForSingleObject of the same command line.
#include "BenchCase.h"
#include "BenchSampleTask.h"
#include "BenchScratchHive.h"

#include "common/UniqueHandle.h"
#include "execution/CreateProcessHelper.h"
#include "execution/FileDigest.h"
#include "execution/SingleTask.h"
#include "messagebus/MessageBusClient.h"

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kParams[] = L"--exit 0";
constexpr int kRuns = 21;

double runProcessMicros(CCPHelper& helper, const std::wstring& program)
{
    double start = ksbench::nowMicros();
    DWORD error = 0;
    Keelwork::unique_handle process = helper.RunProcess(program.c_str(), kParams, &error, 0, nullptr, nullptr, 0);
    if (process)
        ::WaitForSingleObject(process.get(), 30000);
    return ksbench::nowMicros() - start;
}

double rawCreateProcessMicros(const std::wstring& program)
{
    std::wstring cmdline = CCPHelper::CommandLineOf(program.c_str(), kParams);
    std::wstring folder = CCPHelper::WorkingDirectoryOf(program.c_str());
    double start = ksbench::nowMicros();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION pi = {};
    if (::CreateProcessW(nullptr, cmdline.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &pi)) {
        Keelwork::unique_process_information owned;
        owned.adopt(pi);
        ::WaitForSingleObject(owned.process.get(), 30000);
    }
    return ksbench::nowMicros() - start;
}

// Alternates `ours` and the raw start, one warm-up each; medians in milliseconds.
ksbench::Figure alternate(const std::function<double()>& ours, const std::wstring& program)
{
    std::vector<double> measured, raw;
    ours();
    rawCreateProcessMicros(program);
    for (int i = 0; i < kRuns; ++i) {
        if (i % 2 == 0) {
            measured.push_back(ours());
            raw.push_back(rawCreateProcessMicros(program));
        } else {
            raw.push_back(rawCreateProcessMicros(program));
            measured.push_back(ours());
        }
    }
    ksbench::Figure figure;
    figure.value = ksbench::median(measured) / 1000.0;
    figure.floor = ksbench::median(raw) / 1000.0;
    figure.unit = "ms";
    return figure;
}

// A stored scheduled task running the program; the object is built and read outside the timing,
// as the engine does before it calls Launch, and reports through the engine's one bus client.
double launchMicros(const std::shared_ptr<Tessel::MessageBusClient>& bus)
{
    CSingleTask task(L"benchlaunch");
    task.Read();
    task.UseBus(bus);
    DWORD deleted = 0;
    double start = ksbench::nowMicros();
    task.Launch(&deleted, 30, nullptr);
    return ksbench::nowMicros() - start;
}

ksbench::Register launch("exec", [] {
    ksbench::ScratchHive hive(L"Software\\KsBench\\Exec");
    const std::wstring program = ksbench::sampleTaskPath();
    ksbench::prepareLaunches(program);
    KSTASKINFO record = {};
    record.dwSize = sizeof record;
    record.dwTaskType = KS_TASK_SCHEDULED;
    record.dwTaskTrigType = KS_TRIGGER_PROCESS;
    record.pwszTaskTrigger = const_cast<wchar_t*>(program.c_str());
    record.pwszTaskParams = const_cast<wchar_t*>(kParams);
    record.dwDefaultFreq = 3600;
    CKsTask stored(L"benchlaunch");
    stored.Assign(&record);
    stored.Write();
    auto bus = std::make_shared<Tessel::MessageBusClient>();
    ksbench::Figure figure = alternate([&] { return launchMicros(bus); }, program);
    return std::vector<std::pair<std::string, ksbench::Figure>>{{"exec.launch", figure}};
});

// The digest a launch computes of the program file, against reading the same bytes.
ksbench::Register digest("exec", [] {
    const std::wstring program = ksbench::sampleTaskPath();
    Keelwork::unique_handle file(::CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<char> buffer(1 << 16);
    ksbench::Figure figure = ksbench::compare(
        9, 20,
        [&] {
            std::wstring hex;
            KsExecution::fileSha256Hex(file.get(), hex);
        },
        [&] {
            DWORD read = 0;
            ::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
            while (::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read)
                ;
        });
    return std::vector<std::pair<std::string, ksbench::Figure>>{{"exec.digest", figure}};
});

ksbench::Register runProcess("exec", [] {
    const std::wstring program = ksbench::sampleTaskPath();
    CCPHelper helper;
    // Interleaved, alternating which goes first, so both see the same machine load and neither
    // always follows the other's process exit.
    ksbench::Figure figure = alternate([&] { return runProcessMicros(helper, program); }, program);
    return std::vector<std::pair<std::string, ksbench::Figure>>{{"exec.run_process", figure}};
});

} // namespace
