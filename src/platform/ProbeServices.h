// The operating-system services the platform state probes consult, each behind a small
// interface with one production implementation (SystemProbeServices.h). Tests substitute them.
#pragma once

#include "common/UniqueHandle.h"
#include "platform/KsWin32API.h"

#include <cstdint>
#include <string>

namespace KsPlatform {

class IPowerStatus {
public:
    virtual ~IPowerStatus() = default;
    // GetSystemPowerStatus: false when it failed.
    virtual bool query(SYSTEM_POWER_STATUS& status) = 0;
};

// Asks another module over the message bus and names the reply it got.
class IStatusRequester {
public:
    virtual ~IStatusRequester() = default;
    // True when the request was accepted and a reply arrived within `timeoutMs`; the reply
    // message's name goes to `replyName`.
    virtual bool ask(const std::wstring& requestName, uint32_t timeoutMs, std::wstring& replyName) = 0;
};

// The network list manager's cost interface. Used within one COM initialisation of the caller.
class INetworkCostService {
public:
    virtual ~INetworkCostService() = default;
    virtual HRESULT connect() = 0;
    // The machine-wide cost (no destination).
    virtual HRESULT machineCost(DWORD& cost) = 0;
    virtual void disconnect() = 0;
};

// The app-visibility object. Used within one COM initialisation of the caller.
class IAppVisibilityService {
public:
    virtual ~IAppVisibilityService() = default;
    virtual HRESULT connect() = 0;
    virtual HRESULT isLauncherVisible(bool& visible) = 0;
    // The app visibility on the primary monitor (MONITOR_APP_VISIBILITY: 0 unknown, 1 no app,
    // 2 a touch-first app).
    virtual HRESULT primaryMonitorVisibility(int& visibility) = 0;
    virtual void disconnect() = 0;
};

// Named kernel objects other components own or wait on.
class INamedObjects {
public:
    virtual ~INamedObjects() = default;
    virtual Keelwork::unique_handle openMutex(DWORD access, const std::wstring& name) = 0;
    virtual Keelwork::unique_handle openEvent(DWORD access, const std::wstring& name) = 0;
    virtual Keelwork::unique_handle createEvent(const std::wstring& name, bool manualReset, bool initiallySet) = 0;
};

// The services one probe call uses, borrowed from whoever made the bundle. The production
// bundle is KsPlatform::SystemProbeServices: two of its services hold COM interfaces, so it is
// made for the call and released inside the caller's COM initialisation.
struct ProbeServices {
    IPowerStatus& power;
    IStatusRequester& bus;
    INetworkCostService& networkCost;
    IAppVisibilityService& appVisibility;
    INamedObjects& namedObjects;
    const CKsWin32APIBase& win32;
};

} // namespace KsPlatform
