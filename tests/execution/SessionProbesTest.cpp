// Probes of the session's state: connected standby, full screen, touch-first apps, idleness and
// metered networks, with their services substituted and, where Wine has them, real.
#include "ProbeFakes.h"

#include "LogFileReader.h"
#include "execution/PlatformNames.h"
#include "execution/PlatformProbes.h"

#include <gtest/gtest.h>

namespace {

using kstest::FakeProbeServices;
namespace names = KsExecution::names;

struct BusAnswerCase {
    const wchar_t* reply; // null: no reply in time
    bool expected;
};

class ConnectedStandbyAnswer : public ::testing::TestWithParam<BusAnswerCase> {};

TEST_P(ConnectedStandbyAnswer, YesOnlyForTheOnReply)
{
    FakeProbeServices fake;
    if (GetParam().reply)
        fake.bus.replies[names::kConnectedStandbyRequest] = GetParam().reply;
    EXPECT_EQ(IsConnectedStandby(nullptr, fake.services()), GetParam().expected);
    ASSERT_EQ(fake.bus.asked.size(), 1u);
    EXPECT_EQ(fake.bus.asked[0].first, L"SystemMonitor.ConnectedStandby.Status.Request");
    EXPECT_EQ(fake.bus.asked[0].second, 5000u);
}

INSTANTIATE_TEST_SUITE_P(Replies, ConnectedStandbyAnswer,
                         ::testing::Values(BusAnswerCase{L"SystemMonitor.ConnectedStandby.On", true},
                                           BusAnswerCase{L"SystemMonitor.ConnectedStandby.Off", false},
                                           BusAnswerCase{L"systemmonitor.connectedstandby.on", false},
                                           BusAnswerCase{nullptr, false}));

struct BatteryCase {
    bool powerReads;
    BYTE acLine;
    BOOL onBattery;
};

class OnBattery : public ::testing::TestWithParam<BatteryCase> {};

TEST_P(OnBattery, OnlyWhenStatusReadsAndAcLineIsOff)
{
    FakeProbeServices fake;
    fake.power.succeeds = GetParam().powerReads;
    fake.power.acLineStatus = GetParam().acLine;
    BOOL onBattery = 7;
    IsConnectedStandby(&onBattery, fake.services());
    EXPECT_EQ(onBattery, GetParam().onBattery);
}

INSTANTIATE_TEST_SUITE_P(PowerStates, OnBattery,
                         ::testing::Values(BatteryCase{true, 0, TRUE}, BatteryCase{true, 1, FALSE},
                                           BatteryCase{true, 255, FALSE}, BatteryCase{false, 0, FALSE}));

TEST(ConnectedStandbyOn, IdleIsYesAndFullScreenAndMetroAreNoWithoutFurtherChecks)
{
    FakeProbeServices fake;
    fake.bus.replies[names::kConnectedStandbyRequest] = names::kConnectedStandbyOn;
    fake.bus.replies[names::kNotificationStateRequest] = names::kFullScreenAppRunning;
    fake.appVisibility.visibility = 2;
    kstest::LogCapture log;
    EXPECT_TRUE(IsIdleMode(fake.services()));
    EXPECT_FALSE(IsFullScreen(fake.services()));
    EXPECT_FALSE(TaskSchedIsMetroMode(fake.services()));
    EXPECT_TRUE(fake.namedObjects.opened.empty());
    EXPECT_EQ(fake.appVisibility.connects, 0);
    for (const auto& [request, timeout] : fake.bus.asked)
        EXPECT_EQ(request, names::kConnectedStandbyRequest);
    EXPECT_TRUE(log.contains(L"_IsFullScreen: CS mode is on, so return FALSE")) << log.text();
    EXPECT_TRUE(log.contains(L"_IsMetroMode: CS mode is on, so return FALSE")) << log.text();
}

class FullScreenAnswer : public ::testing::TestWithParam<BusAnswerCase> {};

TEST_P(FullScreenAnswer, YesOnlyForTheFullScreenReply)
{
    FakeProbeServices fake;
    if (GetParam().reply)
        fake.bus.replies[names::kNotificationStateRequest] = GetParam().reply;
    EXPECT_EQ(IsFullScreen(fake.services()), GetParam().expected);
    ASSERT_EQ(fake.bus.asked.size(), 2u);
    EXPECT_EQ(fake.bus.asked[1].first, L"SessionMonitor.Get.NotificationState");
    EXPECT_EQ(fake.bus.asked[1].second, 15000u);
}

INSTANTIATE_TEST_SUITE_P(Replies, FullScreenAnswer,
                         ::testing::Values(BusAnswerCase{L"SessionMonitor.NotificationState.FullScreenAppRunning", true},
                                           BusAnswerCase{L"SessionMonitor.NotificationState.AcceptsNotifications", false},
                                           BusAnswerCase{nullptr, false}));

struct MetroCase {
    HRESULT connect;
    bool launcher;
    HRESULT visibilityResult;
    int visibility;
    bool expected;
};

class MetroMode : public ::testing::TestWithParam<MetroCase> {};

TEST_P(MetroMode, YesOnlyForATouchFirstAppOnThePrimaryMonitor)
{
    FakeProbeServices fake;
    fake.appVisibility.connectResult = GetParam().connect;
    fake.appVisibility.launcher = GetParam().launcher;
    fake.appVisibility.visibilityResult = GetParam().visibilityResult;
    fake.appVisibility.visibility = GetParam().visibility;
    EXPECT_EQ(TaskSchedIsMetroMode(fake.services()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(States, MetroMode,
                         ::testing::Values(MetroCase{S_OK, false, S_OK, 2, true}, MetroCase{S_OK, false, S_OK, 1, false},
                                           MetroCase{S_OK, true, S_OK, 2, false},
                                           MetroCase{S_OK, false, E_FAIL, 2, false},
                                           MetroCase{REGDB_E_CLASSNOTREG, false, S_OK, 2, false}));

TEST(MetroModeReal, WineHasNoTouchFirstApps)
{
    FakeProbeServices fake;
    KsExecution::AppVisibilityService real;
    KsExecution::ProbeServices services{fake.power, fake.bus, fake.networkCost, real, fake.namedObjects, *fake.win32};
    EXPECT_FALSE(TaskSchedIsMetroMode(services));
}

TEST(IdleMode, FollowsTheIdleDetectorsMutex)
{
    FakeProbeServices fake;
    {
        kstest::LogCapture log;
        EXPECT_FALSE(IsIdleMode(fake.services()));
        EXPECT_TRUE(log.contains(L"IsIdleMode is called, not idle")) << log.text();
    }
    Keelwork::unique_handle mutex(::CreateMutexW(nullptr, FALSE, L"Global\\{B72FC4DF-1F8A-41B1-B17E-9E317681E08B}"));
    ASSERT_TRUE(mutex);
    kstest::LogCapture log;
    EXPECT_TRUE(IsIdleMode(fake.services()));
    EXPECT_TRUE(log.contains(L"IsIdleMode is called, idle")) << log.text();
}

struct CostCase {
    HRESULT connect;
    HRESULT costResult;
    DWORD cost;
    bool expected;
};

class MeteredAccess : public ::testing::TestWithParam<CostCase> {};

TEST_P(MeteredAccess, MeteredWhenTheCostReadsWithoutTheUnrestrictedBit)
{
    FakeProbeServices fake;
    fake.networkCost.connectResult = GetParam().connect;
    fake.networkCost.costResult = GetParam().costResult;
    fake.networkCost.cost = GetParam().cost;
    kstest::LogCapture log;
    EXPECT_EQ(IsMeteredAccess(fake.services()), GetParam().expected);
    EXPECT_EQ(fake.networkCost.disconnects, 1);
    EXPECT_TRUE(log.contains(L"Enter IsMeteredAccess")) << log.text();
    EXPECT_TRUE(log.contains(GetParam().expected ? L"IsMeteredAccess returned with 1" : L"IsMeteredAccess returned with 0"))
        << log.text();
    if (SUCCEEDED(GetParam().connect)) {
        wchar_t line[64];
        _snwprintf(line, 64, L"GetCost returned:%X, cost is:%x", static_cast<unsigned>(GetParam().costResult),
                   GetParam().cost);
        EXPECT_TRUE(log.contains(line)) << log.text();
    } else {
        EXPECT_EQ(fake.networkCost.costQueries, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Costs, MeteredAccess,
                         ::testing::Values(CostCase{S_OK, S_OK, 0x1, false}, CostCase{S_OK, S_OK, 0x2, true},
                                           CostCase{S_OK, S_OK, 0x4, true}, CostCase{S_OK, S_OK, 0x10001, false},
                                           CostCase{S_OK, E_FAIL, 0x2, false},
                                           CostCase{REGDB_E_CLASSNOTREG, S_OK, 0x2, false}));

TEST(MeteredAccessReal, WinesNetworkIsUnrestricted)
{
    kstest::LogCapture log;
    EXPECT_FALSE(IsMeteredAccess());
    EXPECT_TRUE(log.contains(L"GetCost returned:0, cost is:1")) << log.text();
}

TEST(PowerStatusReal, Reads)
{
    SYSTEM_POWER_STATUS status = {};
    EXPECT_TRUE(KsExecution::SystemPowerStatus().query(status));
}

} // namespace
