// Threads mapped to the library holding their start address.
#include "LibraryThreads.h"

#include "common/UniqueHandle.h"

#include <tlhelp32.h>
#include <winternl.h>

namespace modhost {
namespace {

constexpr THREADINFOCLASS kThreadStartAddress = static_cast<THREADINFOCLASS>(9);  // ThreadQuerySetWin32StartAddress

HMODULE libraryOfThread(DWORD threadId)
{
    Keelwork::unique_handle thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId));
    void* start = nullptr;
    if (!thread ||
        ::NtQueryInformationThread(thread.get(), kThreadStartAddress, &start, sizeof start, nullptr) != 0)
        return nullptr;
    HMODULE library = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCWSTR>(start), &library);
    return library;
}

} // namespace

size_t threadsStartedIn(HMODULE library)
{
    Keelwork::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    size_t count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId() && libraryOfThread(entry.th32ThreadID) == library)
            ++count;
    }
    return count;
}

} // namespace modhost
