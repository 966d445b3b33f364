// Probe services whose answers a caller fixes for some questions: battery, a metered connection,
// a full-screen application, connected standby, an idle user. Every other question, and each
// fixed one left open, goes to the services underneath. The probes themselves are unchanged, so
// an assumed answer travels the same path as the machine's would.
#pragma once

#include "platform/ProbeServices.h"

#include <optional>

namespace KsPlatform {

struct ProbeAssumptions {
    std::optional<bool> battery = std::nullopt;
    std::optional<bool> metered = std::nullopt;
    std::optional<bool> fullScreen = std::nullopt;
    std::optional<bool> connectedStandby = std::nullopt;
    std::optional<bool> userIdle = std::nullopt;
};

class AssumedProbeServices {
public:
    // `base` must outlive this object.
    AssumedProbeServices(const ProbeServices& base, const ProbeAssumptions& assume);
    AssumedProbeServices(const AssumedProbeServices&) = delete;
    AssumedProbeServices& operator=(const AssumedProbeServices&) = delete;

    const ProbeServices& services() const { return m_services; }

private:
    class Power final : public IPowerStatus {
    public:
        Power(IPowerStatus& base, std::optional<bool> battery) : m_base(base), m_battery(battery) {}
        bool query(SYSTEM_POWER_STATUS& status) override;

    private:
        IPowerStatus& m_base;
        std::optional<bool> m_battery;
    };
    class Bus final : public IStatusRequester {
    public:
        Bus(IStatusRequester& base, const ProbeAssumptions& assume) : m_base(base), m_assume(assume) {}
        bool ask(const std::wstring& requestName, uint32_t timeoutMs, std::wstring& replyName) override;

    private:
        IStatusRequester& m_base;
        ProbeAssumptions m_assume;
    };
    class NetworkCost final : public INetworkCostService {
    public:
        NetworkCost(INetworkCostService& base, std::optional<bool> metered) : m_base(base), m_metered(metered) {}
        HRESULT connect() override;
        HRESULT machineCost(DWORD& cost) override;
        void disconnect() override;

    private:
        INetworkCostService& m_base;
        std::optional<bool> m_metered;
    };
    class NamedObjects final : public INamedObjects {
    public:
        NamedObjects(INamedObjects& base, std::optional<bool> userIdle) : m_base(base), m_userIdle(userIdle) {}
        Keelwork::unique_handle openMutex(DWORD access, const std::wstring& name) override;
        Keelwork::unique_handle openEvent(DWORD access, const std::wstring& name) override;
        Keelwork::unique_handle createEvent(const std::wstring& name, bool manualReset, bool initiallySet) override;

    private:
        INamedObjects& m_base;
        std::optional<bool> m_userIdle;
    };

    Power m_power;
    Bus m_bus;
    NetworkCost m_networkCost;
    NamedObjects m_namedObjects;
    ProbeServices m_services;
};

} // namespace KsPlatform
