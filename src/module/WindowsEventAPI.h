// Tessel::WindowsEventAPI: the event functions the scheduler module uses, behind an interface so
// that the module can be built with a substitute. The one implementation calls Win32 directly.
#pragma once

#include "common/WinInclude.h"

namespace Tessel {

class WindowsEventAPI {
public:
    WindowsEventAPI() = default;
    WindowsEventAPI(const WindowsEventAPI&) = delete;
    WindowsEventAPI& operator=(const WindowsEventAPI&) = delete;

    // Virtual operations, in their fixed slot order. <windows.h> maps the two event names to
    // their wide forms here and everywhere this header is seen alike.
    virtual ~WindowsEventAPI() = default;                                                        // 0
    virtual HANDLE CreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                               LPCWSTR name);                                                     // 1
    virtual HANDLE OpenEvent(DWORD access, BOOL inheritHandle, LPCWSTR name);                     // 2
    virtual BOOL SetEvent(HANDLE handle);                                                         // 3
    virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);                          // 4
    virtual DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                         DWORD milliseconds);                                     // 5
    virtual BOOL CloseHandle(HANDLE handle);                                                      // 6
};

// Owns a handle the API gave out and closes it through that same API (a substitute sees the
// close), on every path.
class WindowsEventHandle {
public:
    WindowsEventHandle(WindowsEventAPI& api, HANDLE handle) noexcept : m_api(api), m_handle(handle) {}
    ~WindowsEventHandle()
    {
        if (m_handle)
            m_api.CloseHandle(m_handle);
    }
    WindowsEventHandle(const WindowsEventHandle&) = delete;
    WindowsEventHandle& operator=(const WindowsEventHandle&) = delete;

    HANDLE get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != nullptr; }

private:
    WindowsEventAPI& m_api;
    HANDLE m_handle;
};

} // namespace Tessel
