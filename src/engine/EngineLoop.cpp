// The engine's wait loop and its timer.
#include "engine/EngineLoop.h"

#include "engine/EngineNames.h"
#include "logging/internal_logging.h"
#include "state/RunNowRequest.h"

#include <sddl.h>

#include <algorithm>
#include <iterator>

namespace Keelwork::engine {

EngineLoop::~EngineLoop()
{
    cancelTimer();
}

HANDLE EngineLoop::createTimer()
{
    m_timer.reset(::CreateWaitableTimerW(nullptr, FALSE, kWaitableTimerName));
    return m_timer.get();
}

HANDLE EngineLoop::createNewTaskEvent()
{
    m_newTask.reset(::CreateEventW(nullptr, FALSE, FALSE, kNewTaskEvent));
    return m_newTask.get();
}

HANDLE EngineLoop::createRunNowEvent()
{
    // Only SYSTEM and administrators may ask: the event and the request key share the audience.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
                                                                &descriptor, nullptr))
        return nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    m_runNow.reset(::CreateEventW(&attributes, FALSE, FALSE, KsState::kRunNowEvent));
    ::LocalFree(descriptor);
    return m_runNow.get();
}

bool EngineLoop::armIn(int64_t units)
{
    LARGE_INTEGER due;
    due.QuadPart = -std::max<int64_t>(units, 1);  // negative: relative to now
    return ::SetWaitableTimer(m_timer.get(), &due, 0, nullptr, nullptr, FALSE) != FALSE;
}

void EngineLoop::cancelTimer()
{
    if (m_timer)
        ::CancelWaitableTimer(m_timer.get());
}

bool EngineLoop::drainMessages(const EngineWindow& window)
{
    // A WM_QUIT ends only this draining, never the engine. The pump re-posts its message after
    // each task, so the queue would never run dry during a batch: back to the wait after each
    // task, so that a stop, a task change or an AM request is served between two tasks rather
    // than after the whole batch.
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            break;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
        if (window.failed())
            return false;
        if (message.message == kPumpMessage)
            break;
    }
    return true;
}

bool EngineLoop::run(HANDLE exitEvent, HANDLE logonEvent, HANDLE amEvent, const EngineWindow& window,
                     EngineLoopHandler& handler)
{
    const HANDLE handles[] = {m_timer.get(), m_newTask.get(), exitEvent, logonEvent, amEvent, m_runNow.get()};
    const DWORD kCount = static_cast<DWORD>(std::size(handles)) - (m_runNow ? 0 : 1);
    for (;;) {
        // Not while a message waits (the pump's next step above all): what is told between steps
        // never comes between a task falling due and its program's start.
        MSG pending;
        if (!::PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE))
            handler.betweenSteps();
        // Input already in the queue wakes the wait too: a WM_QUIT, or the end of a task, ends a
        // draining early and leaves the messages behind it unread, which a plain wait would sleep
        // through.
        const DWORD wait = ::MsgWaitForMultipleObjectsEx(kCount, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        switch (wait) {
        case WAIT_OBJECT_0:
            KSLOG_NORMAL(L"Waitable timer HIT. Canceling the timer. It will be set again after a trigger.");
            handler.onTimer();
            break;
        case WAIT_OBJECT_0 + 1:
            KSLOG_NORMAL(L"A new task was either added or deleted. Refreshing internal task list");
            handler.onNewTask();
            break;
        case WAIT_OBJECT_0 + 2:
            KSLOG_NORMAL(L"EXIT Event set. Task Scheduler will now exit...");
            return true;
        case WAIT_OBJECT_0 + 3:
            KSLOG_NORMAL(L"Login event set. A user has logged on");
            KSLOG_NORMAL(L"A user logged in. Letting task scheduler know...");
            handler.onLogon();
            break;
        case WAIT_OBJECT_0 + 4:
            KSLOG_INFO(L"Received AM mode event");
            handler.onAutoMaintenance();
            break;
        default:
            if (wait == WAIT_OBJECT_0 + kCount) {
                if (!drainMessages(window))
                    return false;
            } else if (m_runNow && wait == WAIT_OBJECT_0 + 5) {
                KSLOG_INFO(L"Run-now requested from outside the engine");
                handler.onRunNowRequest();
            } else {
                return true;
            }
            break;
        }
    }
}

} // namespace Keelwork::engine
