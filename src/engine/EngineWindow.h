// The engine's hidden window, for window timers, private messages and power notifications: its
// class registered and the window created for the engine's life, both undone by the destructor.
// The window procedure is the window's own: it links the window to this object at WM_CREATE (from
// the creation parameter), unlinks it at WM_DESTROY, and forwards every message between to the
// handler. Nothing thrown by the handler crosses the system's message dispatch: the message ends,
// logged, and failed() says so from then on.
//
// Threading: made, used and destroyed on the engine thread; the handle may be read elsewhere to
// post to it.
#pragma once

#include "common/WinInclude.h"

#include <atomic>

namespace Keelwork::engine {

// What the engine does with its window's messages; DefWindowProcW's answer for those it leaves.
class EngineWindowHandler {
public:
    virtual LRESULT onWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

protected:
    EngineWindowHandler() = default;
    ~EngineWindowHandler() = default;
    EngineWindowHandler(const EngineWindowHandler&) = delete;
    EngineWindowHandler& operator=(const EngineWindowHandler&) = delete;
};

class EngineWindow {
public:
    EngineWindow() = default;
    ~EngineWindow();
    EngineWindow(const EngineWindow&) = delete;
    EngineWindow& operator=(const EngineWindow&) = delete;

    // Registers the class (extended registration, else the plain one) and creates the window, its
    // messages forwarded to `handler`. False only when the class cannot be registered; a window
    // that cannot be created leaves get() null.
    bool create(HINSTANCE instance, EngineWindowHandler& handler);
    HWND get() const { return m_window.load(); }
    // True once a message's handling ended on an unexpected exception.
    bool failed() const { return m_failed; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT forward(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    EngineWindowHandler* m_handler = nullptr;
    HINSTANCE m_instance = nullptr;
    ATOM m_atom = 0;
    std::atomic<HWND> m_window{nullptr};
    bool m_failed = false;
};

} // namespace Keelwork::engine
