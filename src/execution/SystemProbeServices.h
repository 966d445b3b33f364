// The production implementations of the probe services: each makes the real system call.
#pragma once

#include "common/ComPtr.h"
#include "execution/ProbeComInterfaces.h"
#include "execution/ProbeServices.h"

namespace KsExecution {

class SystemPowerStatus final : public IPowerStatus {
public:
    bool query(SYSTEM_POWER_STATUS& status) override;
};

// A new bus client per request, sent with the alias "TaskScheduler" and an empty payload.
class BusStatusRequester final : public IStatusRequester {
public:
    bool ask(const std::wstring& requestName, uint32_t timeoutMs, std::wstring& replyName) override;
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

// The COM-backed services of one bundle; a base of SystemProbeServices so that they exist before
// the bundle's references to them.
struct SystemComServices {
    NetworkCostService networkCost;
    AppVisibilityService appVisibility;
};

// The production bundle. The stateless services are the process's; the COM-backed ones are this
// bundle's own and release their interfaces when it goes. Make one where the probes run (the
// probes' default argument makes one per call), inside that thread's COM initialisation, and
// never keep it beyond it.
class SystemProbeServices final : private SystemComServices, public ProbeServices {
public:
    SystemProbeServices();
    SystemProbeServices(const SystemProbeServices&) = delete;
    SystemProbeServices& operator=(const SystemProbeServices&) = delete;
};

} // namespace KsExecution
