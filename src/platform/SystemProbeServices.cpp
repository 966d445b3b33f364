// Real system calls behind the probe services, and the production bundle.
#include "platform/SystemProbeServices.h"

#include <atomic>
#include <type_traits>

namespace KsPlatform {

bool SystemPowerStatus::query(SYSTEM_POWER_STATUS& status) { return ::GetSystemPowerStatus(&status) != FALSE; }

HRESULT NetworkCostService::connect()
{
    return ::CoCreateInstance(kNetworkListManagerClsid, nullptr, CLSCTX_ALL, kNetworkCostManagerIid,
                              m_manager.putVoid());
}

HRESULT NetworkCostService::machineCost(DWORD& cost)
{
    if (!m_manager)
        return E_POINTER;
    return m_manager->GetCost(&cost, nullptr);
}

HRESULT AppVisibilityService::connect()
{
    return ::CoCreateInstance(kAppVisibilityClsid, nullptr, CLSCTX_ALL, kAppVisibilityIid, m_visibility.putVoid());
}

HRESULT AppVisibilityService::isLauncherVisible(bool& visible)
{
    if (!m_visibility)
        return E_POINTER;
    BOOL launcher = FALSE;
    HRESULT hr = m_visibility->IsLauncherVisible(&launcher);
    visible = launcher != FALSE;
    return hr;
}

HRESULT AppVisibilityService::primaryMonitorVisibility(int& visibility)
{
    if (!m_visibility)
        return E_POINTER;
    HMONITOR primary = ::MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY);
    return m_visibility->GetAppVisibilityOnMonitor(primary, &visibility);
}

Keelwork::unique_handle SystemNamedObjects::openMutex(DWORD access, const std::wstring& name)
{
    return Keelwork::unique_handle(::OpenMutexW(access, FALSE, name.c_str()));
}

Keelwork::unique_handle SystemNamedObjects::openEvent(DWORD access, const std::wstring& name)
{
    return Keelwork::unique_handle(::OpenEventW(access, FALSE, name.c_str()));
}

Keelwork::unique_handle SystemNamedObjects::createEvent(const std::wstring& name, bool manualReset, bool initiallySet)
{
    return Keelwork::unique_handle(::CreateEventW(nullptr, manualReset, initiallySet, name.c_str()));
}

INamedObjects& systemNamedObjects()
{
    static SystemNamedObjects namedObjects;
    return namedObjects;
}

namespace {

// The stateless services: shared by every bundle of the process.
struct SharedServices {
    SystemPowerStatus power;
    CKsWin32API win32;
};

SharedServices& sharedServices()
{
    static SharedServices services;
    return services;
}

std::atomic<IPowerStatus*> g_installedPower{nullptr};
std::atomic<INetworkCostService*> g_installedCost{nullptr};

template <typename Service>
Service& installedOr(const std::atomic<Service*>& installed, std::type_identity_t<Service>& system)
{
    Service* service = installed.load(std::memory_order_acquire);
    return service ? *service : system;
}

} // namespace

void installPowerStatus(IPowerStatus* power) { g_installedPower.store(power, std::memory_order_release); }

void installNetworkCost(INetworkCostService* cost) { g_installedCost.store(cost, std::memory_order_release); }

SystemProbeServices::SystemProbeServices(HANDLE stopEvent, std::shared_ptr<Tessel::MessageBusClient> busClient)
    : SystemOwnedServices(stopEvent, std::move(busClient)),
      ProbeServices{installedOr(g_installedPower, sharedServices().power), SystemOwnedServices::bus,
                    installedOr(g_installedCost, SystemOwnedServices::networkCost),
                    SystemOwnedServices::appVisibility, systemNamedObjects(), sharedServices().win32}
{
}

} // namespace KsPlatform
