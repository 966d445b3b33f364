// Benchmarks of task execution: a program started through CCPHelper::RunProcess and waited for,
// against CreateProcessW and WaitForSingleObject of the same command line.
#include "BenchCase.h"

#include "common/UniqueHandle.h"
#include "execution/CreateProcessHelper.h"

#include <string>

namespace {

std::wstring sampleTaskPath()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L'\\')) + L"\\sample-task.exe";
}

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

ksbench::Register runProcess("exec", [] {
    std::wstring program = sampleTaskPath();
    CCPHelper helper;
    std::vector<double> ours, raw;
    // Interleaved, alternating which goes first, so both see the same machine load and neither
    // always follows the other's process exit; one warm-up run each.
    runProcessMicros(helper, program);
    rawCreateProcessMicros(program);
    for (int i = 0; i < kRuns; ++i) {
        if (i % 2 == 0) {
            ours.push_back(runProcessMicros(helper, program));
            raw.push_back(rawCreateProcessMicros(program));
        } else {
            raw.push_back(rawCreateProcessMicros(program));
            ours.push_back(runProcessMicros(helper, program));
        }
    }

    ksbench::Figure figure;
    figure.value = ksbench::median(ours) / 1000.0;
    figure.floor = ksbench::median(raw) / 1000.0;
    figure.unit = "ms";
    return std::vector<std::pair<std::string, ksbench::Figure>>{{"exec.run_process", figure}};
});

} // namespace
