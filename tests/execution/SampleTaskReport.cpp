// Helpers for tests that run sample-task.exe and read its report.
#include "SampleTaskReport.h"

#include "LogFileReader.h"

#include <atomic>
#include <sstream>

namespace kstest {

std::wstring currentFolder()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = ::GetCurrentDirectoryW(MAX_PATH, path);
    return std::wstring(path, length);
}

namespace {
std::wstring freshTempPath(const wchar_t* stem, const wchar_t* extension)
{
    static std::atomic<unsigned> counter{0};
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + stem + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(counter++) + extension;
    ::DeleteFileW(path.c_str());
    return path;
}
} // namespace

ReportFile::ReportFile() : m_path(freshTempPath(L"ks-report", L".txt")) {}

ReportFile::~ReportFile() { ::DeleteFileW(m_path.c_str()); }

TempFile::TempFile(const wchar_t* stem, const wchar_t* extension) : m_path(freshTempPath(stem, extension)) {}

TempFile::~TempFile() { ::DeleteFileW(m_path.c_str()); }

std::map<std::wstring, std::wstring> ReportFile::firstRecord() const
{
    std::map<std::wstring, std::wstring> record;
    std::wistringstream lines(readUtf16File(m_path));
    std::wstring line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (line == L"end")
            break;
        size_t equals = line.find(L'=');
        if (equals != std::wstring::npos)
            record[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return record;
}

std::vector<std::wstring> ReportFile::values(const std::wstring& key) const
{
    std::vector<std::wstring> found;
    std::wistringstream lines(readUtf16File(m_path));
    const std::wstring prefix = key + L"=";
    for (std::wstring line; std::getline(lines, line);)
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line.substr(prefix.size(), line.find_last_not_of(L'\r') + 1 - prefix.size()));
    return found;
}

bool waitForExit(HANDLE process, DWORD* exitCode, DWORD timeoutMs)
{
    if (::WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode != nullptr)
        ::GetExitCodeProcess(process, exitCode);
    return true;
}

} // namespace kstest
