// Where this test program, and what the build puts beside it, lives.
#pragma once

#include "common/UniqueHandle.h"
#include "common/WinInclude.h"

#include <tlhelp32.h>

#include <string>

namespace kstest {

inline std::wstring programPath()
{
    wchar_t path[MAX_PATH] = {};
    return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

// Without a closing backslash.
inline std::wstring testProgramFolder()
{
    const std::wstring path = programPath();
    return path.substr(0, path.find_last_of(L'\\'));
}

// sample-task.exe, which the build puts beside the test program.
inline std::wstring sampleTaskPath()
{
    return testProgramFolder() + L"\\sample-task.exe";
}

// Ends every sample-task.exe still running: a task whose wait was cut short outlives its engine,
// and would hold the test program's output open until it ends on its own.
inline void endSampleTasks()
{
    Keelwork::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, L"sample-task.exe") != 0)
            continue;
        Keelwork::unique_handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (process)
            ::TerminateProcess(process.get(), 1);
    }
}

} // namespace kstest
