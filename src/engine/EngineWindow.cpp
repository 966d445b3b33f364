// Registering the engine window's class and creating the window, and undoing both.
#include "engine/EngineWindow.h"

#include "engine/EngineNames.h"
#include "logging/LogAs.h"

namespace Keelwork::engine {

// The function the log contract gives these lines, whichever helper writes them.
constexpr const char* kInit = "CKsTaskScheduler::_Init";

EngineWindow::~EngineWindow()
{
    if (HWND window = m_window.exchange(nullptr)) {
        // Unlinked first: no message reaches an engine that is going away.
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        ::DestroyWindow(window);
    }
    if (m_atom)
        ::UnregisterClassW(kWindowClass, m_instance);
}

bool EngineWindow::create(HINSTANCE instance, WNDPROC procedure, void* param)
{
    m_instance = instance;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    m_atom = ::RegisterClassExW(&windowClass);
    if (!m_atom) {
        WNDCLASSW plain = {};
        plain.lpfnWndProc = procedure;
        plain.hInstance = instance;
        plain.lpszClassName = kWindowClass;
        m_atom = ::RegisterClassW(&plain);
    }
    if (!m_atom) {
        KSLOG_ERROR_AS(kInit, L"RegisterClass FAILED for Task Scheduler window. Error: %d", ::GetLastError());
        return false;
    }
    m_window = ::CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                                 instance, param);
    KSLOG_NORMAL_AS(kInit, L"Intrenal window handle: %p", m_window.load());
    return true;
}

} // namespace Keelwork::engine
