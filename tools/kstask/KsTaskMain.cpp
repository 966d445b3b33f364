// kstask.exe: the scheduler seen from outside its process, for administrators. Text goes to the
// console as wide characters, or as UTF-8 bytes when the output is redirected.
#include "KsTaskTool.h"

#include "common/Clock.h"
#include "common/WinInclude.h"

#include <string>
#include <vector>

namespace {

void write(DWORD which, const std::wstring& text)
{
    const HANDLE handle = ::GetStdHandle(which);
    if (text.empty() || handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(handle, &mode)) {
        ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    const KsTaskTool::Outcome outcome = KsTaskTool::runTool(args, Keelwork::Clock::current().now());
    write(STD_OUTPUT_HANDLE, outcome.out);
    write(STD_ERROR_HANDLE, outcome.err);
    return outcome.exitCode;
}
