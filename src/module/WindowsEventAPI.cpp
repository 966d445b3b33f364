// Tessel::WindowsEventAPI: straight calls of the Win32 functions of the same names.
#include "module/WindowsEventAPI.h"

namespace Tessel {

HANDLE WindowsEventAPI::CreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                    LPCWSTR name)
{
    return ::CreateEventW(attributes, manualReset, initialState, name);
}

HANDLE WindowsEventAPI::OpenEvent(DWORD access, BOOL inheritHandle, LPCWSTR name)
{
    return ::OpenEventW(access, inheritHandle, name);
}

BOOL WindowsEventAPI::SetEvent(HANDLE handle)
{
    return ::SetEvent(handle);
}

DWORD WindowsEventAPI::WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return ::WaitForSingleObject(handle, milliseconds);
}

DWORD WindowsEventAPI::WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    return ::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
}

BOOL WindowsEventAPI::CloseHandle(HANDLE handle)
{
    return ::CloseHandle(handle);
}

} // namespace Tessel
