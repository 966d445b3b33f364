// Runs of tools/sample-task for tests: where the program is, a fresh report file, and the
// report it writes back (command line, working directory, priority class).
#pragma once

#include "ProgramFolder.h"
#include "common/UniqueHandle.h"

#include <map>
#include <string>
#include <vector>

namespace kstest {

// The current directory of this process.
std::wstring currentFolder();

// A report file path that does not exist yet; the file is deleted on destruction.
class ReportFile {
public:
    ReportFile();
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    const std::wstring& path() const { return m_path; }
    // The first record sample-task appended, as key → value; empty when there is none.
    std::map<std::wstring, std::wstring> firstRecord() const;
    // The value of `key` in every record, in the order they were appended.
    std::vector<std::wstring> values(const std::wstring& key) const;

private:
    std::wstring m_path;
};

// A path in the temporary folder, "<stem>-<process id>-<n><extension>", that does not exist yet;
// whatever is there is deleted on destruction. Tests copy sample-task.exe to one to run or change
// a program under a name of their own.
class TempFile {
public:
    TempFile(const wchar_t* stem, const wchar_t* extension);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::wstring& path() const { return m_path; }
    std::wstring fileName() const { return m_path.substr(m_path.find_last_of(L'\\') + 1); }

private:
    std::wstring m_path;
};

// Waits (bounded) for the process to end; true when it did, with its exit code.
bool waitForExit(HANDLE process, DWORD* exitCode = nullptr, DWORD timeoutMs = 10000);

} // namespace kstest
