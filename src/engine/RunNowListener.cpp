// The run-now listener: one thread waiting on the request event and the stop event.
#include "engine/RunNowListener.h"

#include "engine/EngineObjects.h"
#include "engine/RunningEngine.h"
#include "logging/internal_logging.h"
#include "state/RunNowRequest.h"

#include <iterator>

namespace Keelwork::engine {

RunNowListener::~RunNowListener()
{
    if (!m_thread)
        return;
    ::SetEvent(m_stop.get());
    ::WaitForSingleObject(m_thread.get(), INFINITE);
}

bool RunNowListener::start()
{
    m_startedAt = KsState::runNowStampNow();
    if (const long status = KsState::prepareRunNowKeys()) {
        ::SetLastError(static_cast<DWORD>(status));
        return false;
    }
    // Only SYSTEM and administrators may ask: the event and the request key share the audience.
    m_request = createEngineEvent({KsState::kRunNowEvent}, false);
    m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_request || !m_stop)
        return false;
    m_thread.reset(::CreateThread(nullptr, 0, &RunNowListener::entry, this, 0, nullptr));
    return static_cast<bool>(m_thread);
}

DWORD WINAPI RunNowListener::entry(void* param)
{
    // No exception leaves a thread: one ends the listening, and askers then hear no answer.
    try {
        static_cast<RunNowListener*>(param)->listen();
    } catch (...) {
        KSLOG_ERROR(L"The run-now listener ended on an unexpected exception");
    }
    return 0;
}

void RunNowListener::listen()
{
    const HANDLE handles[] = {m_stop.get(), m_request.get()};
    while (::WaitForMultipleObjects(static_cast<DWORD>(std::size(handles)), handles, FALSE, INFINITE) ==
           WAIT_OBJECT_0 + 1) {
        KSLOG_INFO(L"Run-now requested from outside the engine");
        serveRequests();
    }
}

void RunNowListener::serveRequests() const
{
    for (const KsState::TakenRunNowRequest& request : KsState::takeRunNowRequests()) {
        if (request.writtenAt < m_startedAt)
            continue;
        KsState::answerRunNowRequest(request.name, askRunningEngineToRunNow(request.name));
    }
}

} // namespace Keelwork::engine
