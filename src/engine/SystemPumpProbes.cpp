// The pump's questions, answered by the platform's probes.
#include "engine/SystemPumpProbes.h"

#include "engine/HeadTaskDecision.h"
#include "platform/AssumedProbeServices.h"
#include "platform/PlatformProbes.h"
#include "platform/SystemProbeServices.h"

namespace Keelwork::engine {

bool SystemPumpProbes::idle()
{
    KsPlatform::SystemProbeServices system(m_exitEvent, m_bus);
    return IsIdleMode(KsPlatform::AssumedProbeServices(system, {.connectedStandby = m_standby}).services());
}

bool SystemPumpProbes::fullScreen()
{
    KsPlatform::SystemProbeServices system(m_exitEvent, m_bus);
    return IsFullScreen(KsPlatform::AssumedProbeServices(system, {.connectedStandby = m_standby}).services());
}

bool SystemPumpProbes::connectedStandby()
{
    m_standby = IsConnectedStandby(nullptr, KsPlatform::SystemProbeServices(m_exitEvent, m_bus));
    return *m_standby;
}

bool SystemPumpProbes::updateInstalling()
{
    return updatesInstalling(KsPlatform::systemNamedObjects());
}

} // namespace Keelwork::engine
