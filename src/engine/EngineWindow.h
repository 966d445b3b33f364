// The engine's hidden window, for window timers, private messages and power notifications: its
// class registered and the window created for the engine's life, both undone by the destructor.
//
// Threading: made, used and destroyed on the engine thread; the handle may be read elsewhere to
// post to it.
#pragma once

#include "common/WinInclude.h"

#include <atomic>

namespace Keelwork::engine {

class EngineWindow {
public:
    EngineWindow() = default;
    ~EngineWindow();
    EngineWindow(const EngineWindow&) = delete;
    EngineWindow& operator=(const EngineWindow&) = delete;

    // Registers the class (extended registration, else the plain one) and creates the window with
    // `param` as its creation parameter. False only when the class cannot be registered; a
    // window that cannot be created leaves get() null.
    bool create(HINSTANCE instance, WNDPROC procedure, void* param);
    HWND get() const { return m_window.load(); }

private:
    HINSTANCE m_instance = nullptr;
    ATOM m_atom = 0;
    std::atomic<HWND> m_window{nullptr};
};

} // namespace Keelwork::engine
