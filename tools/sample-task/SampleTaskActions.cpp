// What sample-task.exe does for each of its arguments.
#include "SampleTaskActions.h"

#include "common/UniqueHandle.h"

#include <cstdio>

namespace sampletask {

unsigned long sleepFor(unsigned long milliseconds)
{
    ::Sleep(milliseconds);
    return 0;
}

unsigned long setNamedEvent(const std::wstring& name)
{
    Keelwork::unique_handle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    if (!event)
        return ::GetLastError();
    if (!::SetEvent(event.get()))
        return ::GetLastError();
    return 0;
}

unsigned long waitForNamedEvent(const std::wstring& name, unsigned long milliseconds)
{
    Keelwork::unique_handle event(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
    if (!event)
        return ::GetLastError();
    const DWORD waited = ::WaitForSingleObject(event.get(), milliseconds);
    return waited == WAIT_OBJECT_0 ? 0 : waited == WAIT_TIMEOUT ? WAIT_TIMEOUT : ::GetLastError();
}

unsigned long startChildren(unsigned long count, int argc, wchar_t** argv, int from)
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
    for (int i = from; i < argc; ++i)
        commandLine += L" \"" + std::wstring(argv[i]) + L"\"";
    for (unsigned long n = 0; n < count; ++n) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        std::wstring line = commandLine;
        if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
            return ::GetLastError();
        Keelwork::unique_process_information owned;
        owned.adopt(started);
    }
    return 0;
}

namespace {

ULONGLONG processorTimeMs()
{
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME& t) { return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000; };
    return ms(kernel) + ms(user);
}

} // namespace

unsigned long spinFor(unsigned long milliseconds)
{
    const ULONGLONG until = processorTimeMs() + milliseconds;
    volatile unsigned long spins = 0;
    while (processorTimeMs() < until)
        for (int i = 0; i < 100000; ++i)
            spins = spins + 1;
    return 0;
}

unsigned long touchMemory(unsigned long megabytes)
{
    const SIZE_T bytes = static_cast<SIZE_T>(megabytes) << 20;
    auto* memory = static_cast<volatile char*>(::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (memory == nullptr)
        return ::GetLastError();
    for (SIZE_T at = 0; at < bytes; at += 4096)
        memory[at] = 1;
    return 0;  // left committed: the program's end frees it
}

namespace {

LONG WINAPI endWithTheFault(EXCEPTION_POINTERS* fault)
{
    ::TerminateProcess(::GetCurrentProcess(), fault->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void crash()
{
    ::SetUnhandledExceptionFilter(endWithTheFault);
    ::RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    ::TerminateProcess(::GetCurrentProcess(), EXCEPTION_ACCESS_VIOLATION);  // not reached
    for (;;)
        ::Sleep(INFINITE);
}

namespace {

std::wstring currentDirectory()
{
    wchar_t buffer[MAX_PATH * 2] = {};
    DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(std::size(buffer)), buffer);
    return std::wstring(buffer, length < std::size(buffer) ? length : 0);
}

std::wstring buildRecord(int argc, wchar_t** argv)
{
    wchar_t priority[16];
    _snwprintf(priority, std::size(priority), L"0x%lx", ::GetPriorityClass(::GetCurrentProcess()));
    std::wstring record = L"cmdline=" + std::wstring(::GetCommandLineW()) + L"\r\n";
    record += L"cwd=" + currentDirectory() + L"\r\n";
    record += L"priority=" + std::wstring(priority) + L"\r\n";
    record += L"argc=" + std::to_wstring(argc) + L"\r\n";
    for (int i = 0; i < argc; ++i)
        record += L"argv[" + std::to_wstring(i) + L"]=" + argv[i] + L"\r\n";
    record += L"end\r\n";
    return record;
}

} // namespace

unsigned long appendReport(const std::wstring& path, int argc, wchar_t** argv)
{
    // Several runs may report into one file: open for appending and share it.
    Keelwork::unique_handle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ::GetLastError();
    bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    std::wstring text = created ? std::wstring(1, L'\xFEFF') : std::wstring();
    text += buildRecord(argc, argv);
    DWORD written = 0;
    if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr))
        return ::GetLastError();
    return 0;
}

} // namespace sampletask
