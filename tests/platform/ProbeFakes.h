// Substitutes for the probe services, each recording what it was asked and answering what the
// test set; real named objects and the real function table unless a test replaces them.
#pragma once

#include "RealApiTable.h"

#include "platform/ProbeServices.h"
#include "platform/SystemProbeServices.h"

#include <map>
#include <string>
#include <vector>

namespace kstest {

struct FakePower final : KsPlatform::IPowerStatus {
    bool succeeds = true;
    BYTE acLineStatus = 1;
    bool query(SYSTEM_POWER_STATUS& status) override
    {
        status.ACLineStatus = acLineStatus;
        return succeeds;
    }
};

struct FakeBus final : KsPlatform::IStatusRequester {
    std::map<std::wstring, std::wstring> replies; // request → reply name; absent: no reply
    std::vector<std::pair<std::wstring, uint32_t>> asked;
    bool ask(const std::wstring& request, uint32_t timeoutMs, std::wstring& replyName) override
    {
        asked.emplace_back(request, timeoutMs);
        auto it = replies.find(request);
        if (it == replies.end())
            return false;
        replyName = it->second;
        return true;
    }
};

struct FakeNetworkCost final : KsPlatform::INetworkCostService {
    HRESULT connectResult = S_OK;
    HRESULT costResult = S_OK;
    DWORD cost = 1;
    int connects = 0, costQueries = 0, disconnects = 0;
    HRESULT connect() override { return ++connects, connectResult; }
    HRESULT machineCost(DWORD& out) override
    {
        ++costQueries;
        out = cost;
        return costResult;
    }
    void disconnect() override { ++disconnects; }
};

struct FakeAppVisibility final : KsPlatform::IAppVisibilityService {
    HRESULT connectResult = S_OK;
    bool launcher = false;
    HRESULT visibilityResult = S_OK;
    int visibility = 1;
    int connects = 0;
    HRESULT connect() override { return ++connects, connectResult; }
    HRESULT isLauncherVisible(bool& visible) override { return visible = launcher, S_OK; }
    HRESULT primaryMonitorVisibility(int& out) override { return out = visibility, visibilityResult; }
    void disconnect() override {}
};

// Real named objects, with a record of every name opened.
struct RecordingNamedObjects final : KsPlatform::INamedObjects {
    KsPlatform::SystemNamedObjects real;
    std::vector<std::wstring> opened;
    Keelwork::unique_handle openMutex(DWORD access, const std::wstring& name) override
    {
        opened.push_back(name);
        return real.openMutex(access, name);
    }
    Keelwork::unique_handle openEvent(DWORD access, const std::wstring& name) override
    {
        opened.push_back(name);
        return real.openEvent(access, name);
    }
    Keelwork::unique_handle createEvent(const std::wstring& name, bool manualReset, bool initiallySet) override
    {
        opened.push_back(name);
        return real.createEvent(name, manualReset, initiallySet);
    }
};

struct FakeProbeServices {
    FakePower power;
    FakeBus bus;
    FakeNetworkCost networkCost;
    FakeAppVisibility appVisibility;
    RecordingNamedObjects namedObjects;
    std::unique_ptr<CKsWin32APIBase> win32 = realApiTableCopy();

    KsPlatform::ProbeServices services()
    {
        return KsPlatform::ProbeServices{power, bus, networkCost, appVisibility, namedObjects, *win32};
    }
};

} // namespace kstest
