// Registering the engine window's class, creating the window, its procedure, and undoing both.
#include "engine/EngineWindow.h"

#include "engine/EngineNames.h"
#include "logging/LogAs.h"

#include <exception>

namespace Keelwork::engine {

// The function the log contract gives these lines, whichever helper writes them.
constexpr const char* kInit = "CKsTaskScheduler::_Init";

EngineWindow::~EngineWindow()
{
    if (HWND window = m_window.exchange(nullptr))
        ::DestroyWindow(window);  // its WM_DESTROY unlinks it before anything else arrives
    if (m_atom)
        ::UnregisterClassW(kWindowClass, m_instance);
}

bool EngineWindow::create(HINSTANCE instance, EngineWindowHandler& handler)
{
    m_instance = instance;
    m_handler = &handler;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &EngineWindow::windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    m_atom = ::RegisterClassExW(&windowClass);
    if (!m_atom) {
        WNDCLASSW plain = {};
        plain.lpfnWndProc = &EngineWindow::windowProc;
        plain.hInstance = instance;
        plain.lpszClassName = kWindowClass;
        m_atom = ::RegisterClassW(&plain);
    }
    if (!m_atom) {
        KSLOG_ERROR_AS(kInit, L"RegisterClass FAILED for Task Scheduler window. Error: %d", ::GetLastError());
        return false;
    }
    m_window = ::CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                                 instance, this);
    KSLOG_NORMAL_AS(kInit, L"Intrenal window handle: %p", m_window.load());
    return true;
}

LRESULT CALLBACK EngineWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (!create || !create->lpCreateParams)
            return -1;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return 0;
    }
    auto* self = reinterpret_cast<EngineWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_DESTROY) {
        // Unlinked first: no message reaches an engine that is going away. A window destroyed by
        // anyone but its owner ends the engine's loop.
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (self && self->m_window.load())
            ::PostQuitMessage(0);
        return 0;
    }
    return self ? self->forward(window, message, wParam, lParam) : ::DefWindowProcW(window, message, wParam, lParam);
}

// An exception must not unwind through the system's message dispatch: the engine ends at the
// loop instead.
LRESULT EngineWindow::forward(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return m_handler->onWindowMessage(window, message, wParam, lParam);
    } catch (const std::exception& error) {
        KSLOG_ERROR(L"The task scheduler thread ended on an unexpected exception: %hs", error.what());
    } catch (...) {
        KSLOG_ERROR(L"The task scheduler thread ended on an unexpected exception");
    }
    m_failed = true;
    return 0;
}

} // namespace Keelwork::engine
