// The running-engine link: a pointer read under a shared lock for each call and written under
// the exclusive lock, so writing waits for the calls that read it.
#include "engine/RunningEngine.h"

#include "common/WinInclude.h"
#include "logging/internal_logging.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"

namespace Keelwork::engine {
namespace {

// A slim reader/writer lock of the system's rather than the C++ runtime's: callers come from the
// bus library's threads, which another copy of the runtime created.
SRWLOCK g_linkLock = SRWLOCK_INIT;
AutoMaintenanceTarget* g_runningEngine = nullptr;  // written under g_linkLock, exclusive

class SharedHold {
public:
    SharedHold() { AcquireSRWLockShared(&g_linkLock); }
    ~SharedHold() { ReleaseSRWLockShared(&g_linkLock); }
    SharedHold(const SharedHold&) = delete;
    SharedHold& operator=(const SharedHold&) = delete;
};

class ExclusiveHold {
public:
    ExclusiveHold() { AcquireSRWLockExclusive(&g_linkLock); }
    ~ExclusiveHold() { ReleaseSRWLockExclusive(&g_linkLock); }
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;
};

} // namespace

bool withRunningEngine(const std::function<void(AutoMaintenanceTarget&)>& call)
{
    SharedHold hold;
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
        KSLOG_ERROR(L"Failed to publish auto maintenance response. Error: %ls", Tessel::moduleStatusName(status));
}

bool switchRunningEngineAMMode(bool on)
{
    std::unique_ptr<AutoMaintenanceResponse> response;
    const bool reached = withRunningEngine([&](AutoMaintenanceTarget& engine) { response = engine.requestAMMode(on); });
    if (response)
        response->publish();
    return reached;
}

RunningEngineRegistration::RunningEngineRegistration(AutoMaintenanceTarget& engine) : m_engine(&engine)
{
    ExclusiveHold hold;
    g_runningEngine = m_engine;
}

RunningEngineRegistration::~RunningEngineRegistration()
{
    ExclusiveHold hold;
    if (g_runningEngine == m_engine)
        g_runningEngine = nullptr;
}

} // namespace Keelwork::engine
