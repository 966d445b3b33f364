// Starting modhost.exe with redirected standard handles and waiting for it within a bound.
#include "HostRun.h"

#include "common/UniqueHandle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace modhosttest {

namespace {

std::string readFile(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

Keelwork::unique_handle inheritableFile(const std::wstring& path, bool forWriting)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return Keelwork::unique_handle(CreateFileW(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                               forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                               nullptr));
}

} // namespace

void expectEnded(const HostRun& run, unsigned long code)
{
    ASSERT_TRUE(run.ended) << "modhost did not end within its bound\n" << run.out << run.err;
    EXPECT_EQ(run.exitCode, code) << run.out << run.err;
}

std::vector<std::string> HostRun::lines() const
{
    std::vector<std::string> result;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

std::string HostRun::lineWith(std::initializer_list<const char*> parts) const
{
    for (const std::string& line : lines()) {
        bool all = true;
        for (const char* part : parts)
            all = all && line.find(part) != std::string::npos;
        if (all)
            return line;
    }
    return {};
}

int HostRun::lineIndex(const char* part, int from) const
{
    std::vector<std::string> all = lines();
    for (int i = from; i < static_cast<int>(all.size()); ++i)
        if (all[static_cast<size_t>(i)].find(part) != std::string::npos)
            return i;
    return -1;
}

std::wstring HostScratch::write(const wchar_t* fileName, const std::string& text) const
{
    std::wstring path = m_folder.path() + L"\\" + fileName;
    std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
    return path;
}

HostRun HostScratch::run(const std::vector<std::wstring>& args, const std::string* scenario,
                         const std::string& input) const
{
    std::vector<std::wstring> all = args;
    if (scenario)
        all.push_back(write(L"scenario.txt", *scenario));
    return runProgram(L"modhost.exe", all, input);
}

HostRun HostScratch::runProgram(const wchar_t* program, const std::vector<std::wstring>& all,
                                const std::string& input) const
{
    const std::wstring inputPath = write(L"input.txt", input);
    HostRun result;
    const std::wstring outPath = m_folder.path() + L"\\out.txt";
    const std::wstring errPath = m_folder.path() + L"\\err.txt";
    {
        Keelwork::unique_handle inputFile = inheritableFile(inputPath, false);
        Keelwork::unique_handle outputFile = inheritableFile(outPath, true);
        Keelwork::unique_handle errorFile = inheritableFile(errPath, true);
        std::wstring commandLine = L"\"" + binFolder() + program + L"\"";
        for (const std::wstring& arg : all)
            commandLine += L" \"" + arg + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inputFile.get();
        startup.hStdOutput = outputFile.get();
        startup.hStdError = errorFile.get();
        PROCESS_INFORMATION created{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &created)) {
            result.err = "the program did not start: error " + std::to_string(GetLastError());
            return result;
        }
        Keelwork::unique_process_information process;
        process.adopt(created);
        if (WaitForSingleObject(process.process.get(), kRunBoundMs) == WAIT_OBJECT_0) {
            result.ended = true;
            GetExitCodeProcess(process.process.get(), &result.exitCode);
        } else {
            TerminateProcess(process.process.get(), 99);
            WaitForSingleObject(process.process.get(), 5000);
        }
    }
    result.out = readFile(outPath);
    result.err += readFile(errPath);
    return result;
}

} // namespace modhosttest
