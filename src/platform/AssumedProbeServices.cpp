// Assumed answers, given in the form the system's own services give them.
#include "platform/AssumedProbeServices.h"

#include "platform/PlatformNames.h"

#include <netlistmgr.h>

namespace KsPlatform {

AssumedProbeServices::AssumedProbeServices(const ProbeServices& base, const ProbeAssumptions& assume)
    : m_power(base.power, assume.battery),
      m_bus(base.bus, assume),
      m_networkCost(base.networkCost, assume.metered),
      m_namedObjects(base.namedObjects, assume.userIdle),
      m_services{m_power, m_bus, m_networkCost, base.appVisibility, m_namedObjects, base.win32}
{
}

bool AssumedProbeServices::Power::query(SYSTEM_POWER_STATUS& status)
{
    if (!m_battery)
        return m_base.query(status);
    status = SYSTEM_POWER_STATUS{};
    status.ACLineStatus = *m_battery ? 0 : 1;
    return true;
}

bool AssumedProbeServices::Bus::ask(const std::wstring& requestName, uint32_t timeoutMs, std::wstring& replyName)
{
    if (requestName == names::kConnectedStandbyRequest && m_assume.connectedStandby) {
        replyName = *m_assume.connectedStandby ? names::kConnectedStandbyOn : names::kConnectedStandbyOff;
        return true;
    }
    if (requestName == names::kNotificationStateRequest && m_assume.fullScreen) {
        replyName = *m_assume.fullScreen ? names::kFullScreenAppRunning : names::kNotificationStateNormal;
        return true;
    }
    return m_base.ask(requestName, timeoutMs, replyName);
}

HRESULT AssumedProbeServices::NetworkCost::connect()
{
    return m_metered ? S_OK : m_base.connect();
}

HRESULT AssumedProbeServices::NetworkCost::machineCost(DWORD& cost)
{
    if (!m_metered)
        return m_base.machineCost(cost);
    cost = *m_metered ? NLM_CONNECTION_COST_FIXED : NLM_CONNECTION_COST_UNRESTRICTED;
    return S_OK;
}

void AssumedProbeServices::NetworkCost::disconnect()
{
    if (!m_metered)
        m_base.disconnect();
}

Keelwork::unique_handle AssumedProbeServices::NamedObjects::openMutex(DWORD access, const std::wstring& name)
{
    if (name != names::kIdleMutex || !m_userIdle)
        return m_base.openMutex(access, name);
    // The idle detector's mutex exists exactly while the user is idle; an unnamed one stands for it.
    return Keelwork::unique_handle(*m_userIdle ? ::CreateMutexW(nullptr, FALSE, nullptr) : nullptr);
}

Keelwork::unique_handle AssumedProbeServices::NamedObjects::openEvent(DWORD access, const std::wstring& name)
{
    return m_base.openEvent(access, name);
}

Keelwork::unique_handle AssumedProbeServices::NamedObjects::createEvent(const std::wstring& name, bool manualReset,
                                                                        bool initiallySet)
{
    return m_base.createEvent(name, manualReset, initiallySet);
}

} // namespace KsPlatform
