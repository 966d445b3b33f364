// IsMeteredAccess: the machine-wide connection cost from the network list manager.
#include "platform/PlatformProbes.h"

#include "common/ComPtr.h"
#include "logging/internal_logging.h"

namespace {
constexpr DWORD kCostUnrestricted = 0x1;
}

bool IsMeteredAccess(const KsPlatform::ProbeServices& services)
{
    KSLOG_NORMAL(L"Enter IsMeteredAccess");
    bool metered = false;
    {
        Keelwork::ComInitialization com(COINIT_MULTITHREADED);
        KsPlatform::INetworkCostService& network = services.networkCost;
        if (SUCCEEDED(network.connect())) {
            KSLOG_NORMAL(L" get pCostManager successfully");
            DWORD cost = 0;
            HRESULT hr = network.machineCost(cost);
            KSLOG_INFO(L"GetCost returned:%X, cost is:%x", static_cast<unsigned>(hr), cost);
            metered = SUCCEEDED(hr) && (cost & kCostUnrestricted) == 0;
        }
        network.disconnect();
    }
    KSLOG_NORMAL(L"IsMeteredAccess returned with %d", metered ? 1 : 0);
    return metered;
}
