// The agreement test's stand-ins and readers: the power and network-cost answers it sets, the
// members of Explain's and kstask's replies, and the board under a task's stored form.
#pragma once

#include "EngineLoopFixture.h"
#include "KsTaskTool.h"

#include "engine/DueNowDecision.h"
#include "message/JSONFormatter.h"
#include "platform/ProbeServices.h"
#include "store/TaskName.h"

#include <netlistmgr.h>

#include <atomic>
#include <map>
#include <optional>
#include <string>

namespace kstest {

class PowerStandIn final : public KsPlatform::IPowerStatus {
public:
    bool query(SYSTEM_POWER_STATUS& status) override
    {
        status = {};
        status.ACLineStatus = onBattery ? 0 : 1;
        status.BatteryLifePercent = 50;
        return true;
    }
    std::atomic<bool> onBattery = false;
};

class NetworkCostStandIn final : public KsPlatform::INetworkCostService {
public:
    HRESULT connect() override { return S_OK; }
    HRESULT machineCost(DWORD& cost) override
    {
        cost = metered ? NLM_CONNECTION_COST_FIXED : NLM_CONNECTION_COST_UNRESTRICTED;
        return S_OK;
    }
    void disconnect() override {}
    std::atomic<bool> metered = false;
};

inline std::wstring member(const std::wstring& json, const wchar_t* key)
{
    Tessel::JSONFormatter parsed;
    std::wstring value;
    return parsed.parse(json) && parsed.getString(key, value) ? value : L"<absent>";
}

// The "ifDueNow" member of an Explain reply, as a decision; none when the reply has none.
inline std::optional<Keelwork::engine::DueNowAnswer> ifDueNowOf(const std::wstring& reply)
{
    Tessel::JSONFormatter parsed;
    if (!parsed.parse(reply) || !parsed.root().HasMember(L"ifDueNow"))
        return std::nullopt;
    const auto& member = parsed.root()[L"ifDueNow"];
    Keelwork::engine::DueNowAnswer answer;
    answer.run = member.HasMember(L"decision") && std::wstring(member[L"decision"].GetString()) == L"run";
    if (member.HasMember(L"reason"))
        answer.reason = member[L"reason"].GetString();
    if (member.HasMember(L"code"))
        answer.code = member[L"code"].GetUint();
    return answer;
}

// kstask's list as the stored form of each name: its verdict.
inline std::map<std::wstring, std::wstring> listedVerdicts(uint32_t now)
{
    Tessel::JSONFormatter parsed;
    std::map<std::wstring, std::wstring> verdicts;
    // The parser takes objects only: the array is wrapped in one.
    const std::wstring list = KsTaskTool::runTool({L"list", L"--all", L"--json"}, now).out;
    if (!parsed.parse(L"{\"rows\":" + list + L"}") || !parsed.root()[L"rows"].IsArray())
        return verdicts;
    const auto& rows = parsed.root()[L"rows"];
    for (unsigned i = 0; i < rows.Size(); ++i) {
        const auto& row = rows[i];
        if (row.HasMember(L"name") && row.HasMember(L"verdict"))
            verdicts[row[L"name"].GetString()] = row[L"verdict"].GetString();
    }
    return verdicts;
}

// Polls `condition` each millisecond until it holds or the bound has passed: most steps take the
// engine a few milliseconds, and two thousand of them must fit in the run.
template <typename Condition>
bool awaitSoon(Condition condition)
{
    const ULONGLONG end = ::GetTickCount64() + kBoundMs;
    while (!condition()) {
        if (::GetTickCount64() > end)
            return condition();
        ::Sleep(1);
    }
    return true;
}

// The board keeps a task under its stored form.
inline KsState::TaskState boardState(const std::wstring& name)
{
    return taskState(KsStore::TaskIdentity(name).key().c_str());
}

} // namespace kstest
