// The running-engine link: a pointer read under a shared lock for each call and written under
// the exclusive lock, so writing waits for the calls that read it.
#include "engine/RunningEngine.h"

#include "common/SrwLock.h"
#include "logging/LogAs.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"

namespace Keelwork::engine {

// The function the log contract gives these lines, whichever helper writes them.
constexpr const char* kSetAMMode = "CKsTaskScheduler::SetAMMode";
namespace {

// A slim reader/writer lock of the system's rather than the C++ runtime's: callers come from the
// bus library's threads, which another copy of the runtime created.
SRWLOCK g_linkLock = SRWLOCK_INIT;
EngineTarget* g_runningEngine = nullptr;  // written under g_linkLock, exclusive

} // namespace

bool withRunningEngine(const std::function<void(EngineTarget&)>& call)
{
    SrwShared hold(g_linkLock);
    if (!g_runningEngine)
        return false;
    call(*g_runningEngine);
    return true;
}

void AutoMaintenanceResponse::publish() const
{
    Tessel::ModuleStatus status = Tessel::MODULE_STATUS_UNSUCCESSFUL;
    try {
        auto message = Tessel::Message::create(L"Response.Auto.Maintenance.Mode", L"TaskScheduler", L"");
        if (m_bus && message)
            status = m_bus->publish(message);
    } catch (...) {
        status = Tessel::MODULE_STATUS_UNKNOWN_EXCEPTION;
    }
    if (status != Tessel::MODULE_STATUS_SUCCESS)
        KSLOG_ERROR_AS(kSetAMMode, L"Failed to publish auto maintenance response. Error: %ls",
                       Tessel::moduleStatusName(status));
}

bool switchRunningEngineAMMode(bool on)
{
    std::unique_ptr<AutoMaintenanceResponse> response;
    const bool reached = withRunningEngine([&](EngineTarget& engine) { response = engine.requestAMMode(on); });
    if (response)
        response->publish();
    return reached;
}

KsState::RunNowOutcome askRunningEngineToRunNow(const std::wstring& name)
{
    return withRunningEngine([&](EngineTarget& engine) { engine.requestRunNow(name); })
               ? KsState::RunNowOutcome::asked
               : KsState::RunNowOutcome::noEngine;
}

RunningEngineRegistration::RunningEngineRegistration(EngineTarget& engine) : m_engine(&engine)
{
    SrwExclusive hold(g_linkLock);
    g_runningEngine = m_engine;
}

RunningEngineRegistration::~RunningEngineRegistration()
{
    SrwExclusive hold(g_linkLock);
    if (g_runningEngine == m_engine)
        g_runningEngine = nullptr;
}

} // namespace Keelwork::engine
