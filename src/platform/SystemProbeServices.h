// The production implementations of the probe services: each makes the real system call.
#pragma once

#include "common/ComPtr.h"
#include "platform/ProbeComInterfaces.h"
#include "platform/ProbeServices.h"

#include <memory>

namespace Tessel {
class MessageBusClient;
class Reply;
}

namespace KsPlatform {

class SystemPowerStatus final : public IPowerStatus {
public:
    bool query(SYSTEM_POWER_STATUS& status) override;
};

// A request sent with the alias "TaskScheduler" and an empty payload, through a new bus client per
// request or, where one is lent, through that client: the engine lends its own, since loading and
// releasing the bus library for each question cost more than the question itself. When the stop
// event (the engine's exit event) is set, a wait for the answer ends at once and counts as no
// answer, so a stopping engine is never held for the whole time-out.
class BusStatusRequester final : public IStatusRequester {
public:
    explicit BusStatusRequester(HANDLE stopEvent = nullptr,
                                std::shared_ptr<Tessel::MessageBusClient> client = nullptr) noexcept
        : m_stopEvent(stopEvent), m_client(std::move(client))
    {
    }
    bool ask(const std::wstring& requestName, uint32_t timeoutMs, std::wstring& replyName) override;

private:
    bool waitForAnswer(Tessel::Reply& reply, uint32_t timeoutMs) const;

    HANDLE m_stopEvent;  // not owned; may be null
    std::shared_ptr<Tessel::MessageBusClient> m_client;  // lent; null: a new client per request
};

class NetworkCostService final : public INetworkCostService {
public:
    HRESULT connect() override;
    HRESULT machineCost(DWORD& cost) override;
    void disconnect() override { m_manager.reset(); }

private:
    Keelwork::ComPtr<INetworkCostManagerCalls> m_manager;
};

class AppVisibilityService final : public IAppVisibilityService {
public:
    HRESULT connect() override;
    HRESULT isLauncherVisible(bool& visible) override;
    HRESULT primaryMonitorVisibility(int& visibility) override;
    void disconnect() override { m_visibility.reset(); }

private:
    Keelwork::ComPtr<IAppVisibilityCalls> m_visibility;
};

class SystemNamedObjects final : public INamedObjects {
public:
    Keelwork::unique_handle openMutex(DWORD access, const std::wstring& name) override;
    Keelwork::unique_handle openEvent(DWORD access, const std::wstring& name) override;
    Keelwork::unique_handle createEvent(const std::wstring& name, bool manualReset, bool initiallySet) override;
};

// The process's one set of named-object calls; it holds nothing, so any thread may share it.
INamedObjects& systemNamedObjects();

// Who answers the power-source and network-cost questions of every bundle made from now on: the
// system, or a service a test installs (not owned; null restores the system's) to put the whole
// engine on battery or on a metered network, which the machine itself cannot be told to be.
void installPowerStatus(IPowerStatus* power);
void installNetworkCost(INetworkCostService* cost);

// The services a bundle owns (those holding COM interfaces, and the bus requester that knows
// its stop event); a base of SystemProbeServices so that they exist before the bundle's
// references to them.
struct SystemOwnedServices {
    SystemOwnedServices(HANDLE stopEvent, std::shared_ptr<Tessel::MessageBusClient> client) noexcept
        : bus(stopEvent, std::move(client))
    {
    }
    NetworkCostService networkCost;
    AppVisibilityService appVisibility;
    BusStatusRequester bus;
};

// The production bundle. The stateless services are the process's; the COM-backed ones are this
// bundle's own and release their interfaces when it goes. Make one where the probes run (the
// probes' default argument makes one per call), inside that thread's COM initialisation, and
// never keep it beyond it.
class SystemProbeServices final : private SystemOwnedServices, public ProbeServices {
public:
    // stopEvent (not owned, may be null) ends a bus request's wait when it is set; busClient (may
    // be null) carries the bus questions instead of a new client for each.
    explicit SystemProbeServices(HANDLE stopEvent = nullptr,
                                 std::shared_ptr<Tessel::MessageBusClient> busClient = nullptr);
    SystemProbeServices(const SystemProbeServices&) = delete;
    SystemProbeServices& operator=(const SystemProbeServices&) = delete;
};

} // namespace KsPlatform
