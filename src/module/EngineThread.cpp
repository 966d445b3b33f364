// Starting, stopping and joining the engine thread.
#include "module/EngineThread.h"

#include "engine/TaskScheduler.h"
#include "logging/internal_logging.h"
#include "module/WindowsEventAPI.h"

#include <utility>

namespace Tessel {

bool EngineThread::running() const
{
    return m_thread && ::WaitForSingleObject(m_thread.get(), 0) == WAIT_TIMEOUT;
}

EngineThread::Start EngineThread::start()
{
    stop();
    // Manual reset: every wait that sees the stop keeps it for the next one, so no waiter has to
    // remember to set it again.
    m_handles.hExitEvent = m_events.CreateEvent(nullptr, TRUE, FALSE, nullptr);
    m_handles.hStartedEvent = m_events.CreateEvent(nullptr, FALSE, FALSE, nullptr);
    // An event that was created stays open until the stop.
    if (!m_handles.hExitEvent || !m_handles.hStartedEvent)
        return Start::noEvents;
    m_thread.reset(::CreateThread(nullptr, 0, &Keelwork::engine::CKsTaskScheduler::TSThread, &m_handles, 0, nullptr));
    if (m_thread)
        return Start::started;
    KSLOG_CRITICAL(L"Could not start the engine thread. Error: %lu", ::GetLastError());
    stop();
    return Start::noThread;
}

void EngineThread::stop()
{
    m_events.SetEvent(m_handles.hExitEvent);
    if (m_thread) {
        ::WaitForSingleObject(m_thread.get(), INFINITE);
        m_thread.reset();
    }
    if (m_handles.hStartedEvent)
        m_events.CloseHandle(std::exchange(m_handles.hStartedEvent, nullptr));
    if (m_handles.hExitEvent)
        m_events.CloseHandle(std::exchange(m_handles.hExitEvent, nullptr));
}

} // namespace Tessel
