// The engine's wait loop and its timers.
#include "engine/EngineLoop.h"

#include "common/ChangedTasks.h"
#include "engine/EngineNames.h"
#include "engine/EngineObjects.h"
#include "logging/LogAs.h"

#include <algorithm>
#include <utility>

namespace Keelwork::engine {
namespace {

// The function the log contract gives these lines, whichever helper writes them.
constexpr const char* kThread = "CKsTaskScheduler::TSThread";

bool armTimer(HANDLE timer, int64_t units)
{
    LARGE_INTEGER due;
    due.QuadPart = -std::max<int64_t>(units, 1);  // negative: relative to now
    return ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != FALSE;
}

} // namespace

EngineLoop::~EngineLoop()
{
    cancelTimer();
    if (m_changed)
        ChangedTasks::ofProcess().detach();
}

HANDLE EngineLoop::createTimer()
{
    m_timer = createEngineTimer({kWaitableTimerName});
    m_readAhead.reset(::CreateWaitableTimerW(nullptr, FALSE, nullptr));
    return m_timer.get();
}

HANDLE EngineLoop::createNewTaskEvent()
{
    m_newTask = createEngineEvent({kNewTaskEvent, kSettableByEveryone}, false);
    if (m_newTask && !m_changed)
        m_changed = ChangedTasks::ofProcess().attach();
    return m_newTask.get();
}

bool EngineLoop::armIn(int64_t units)
{
    return armTimer(m_timer.get(), units);
}

bool EngineLoop::armReadAheadIn(int64_t units)
{
    return m_readAhead && armTimer(m_readAhead.get(), units);
}

void EngineLoop::cancelTimer()
{
    for (HANDLE timer : {m_timer.get(), m_readAhead.get()})
        if (timer)
            ::CancelWaitableTimer(timer);
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

bool EngineLoop::serve(Wake wake, EngineLoopHandler& handler)
{
    switch (wake) {
    case Wake::timer:
        KSLOG_NORMAL_AS(kThread, L"Waitable timer HIT. Canceling the timer. It will be set again after a trigger.");
        handler.onTimer();
        return true;
    case Wake::newTask:
        KSLOG_NORMAL_AS(kThread, L"A new task was either added or deleted. Refreshing internal task list");
        handler.onNewTask();
        return true;
    case Wake::exit:
        KSLOG_NORMAL_AS(kThread, L"EXIT Event set. Task Scheduler will now exit...");
        return false;
    case Wake::logon:
        KSLOG_NORMAL_AS(kThread, L"Login event set. A user has logged on");
        KSLOG_NORMAL_AS(kThread, L"A user logged in. Letting task scheduler know...");
        handler.onLogon();
        return true;
    case Wake::maintenance:
        KSLOG_INFO_AS(kThread, L"Received AM mode event");
        handler.onAutoMaintenance();
        return true;
    case Wake::readAhead:
        handler.onReadAhead();
        return true;
    case Wake::changed:
        KSLOG_NORMAL_AS(kThread, L"A new task was either added or deleted. Refreshing internal task list");
        handler.onChangedTasks();
        return true;
    }
    return true;
}

bool EngineLoop::run(HANDLE exitEvent, HANDLE logonEvent, HANDLE amEvent, const EngineWindow& window,
                     EngineLoopHandler& handler)
{
    HANDLE handles[7] = {m_timer.get(), m_newTask.get(), exitEvent, logonEvent, amEvent};
    Wake wakes[7] = {Wake::timer, Wake::newTask, Wake::exit, Wake::logon, Wake::maintenance};
    DWORD count = 5;
    // The optional ones only when there: a null handle would fail every wait.
    for (const auto& [handle, wake] : {std::pair{m_readAhead.get(), Wake::readAhead}, std::pair{m_changed, Wake::changed}})
        if (handle) {
            handles[count] = handle;
            wakes[count++] = wake;
        }
    for (;;) {
        // Not while a message waits (the pump's next step above all): what is told between steps
        // never comes between a task falling due and its program's start.
        MSG pending;
        if (!::PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE))
            handler.betweenSteps();
        // Input already in the queue wakes the wait too: a WM_QUIT, or the end of a task, ends a
        // draining early and leaves the messages behind it unread, which a plain wait would sleep
        // through.
        const DWORD wait = ::MsgWaitForMultipleObjectsEx(count, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (wait > WAIT_OBJECT_0 + count)
            return true;
        // The wait names the first handle set; those after it that are set too are served in the
        // same turn, and the queue after them all. A handle set again and again (the new-task
        // event is anyone's to set) thus costs one action a turn and never keeps the stop, the
        // other events or the window's messages and timers waiting.
        const DWORD first = wait - WAIT_OBJECT_0;
        for (DWORD index = first; index < count; ++index) {
            if (index != first && ::WaitForSingleObject(handles[index], 0) != WAIT_OBJECT_0)
                continue;
            if (!serve(wakes[index], handler))
                return true;
        }
        if (!drainMessages(window))
            return false;
    }
}

} // namespace Keelwork::engine
