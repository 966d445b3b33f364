// Probes of the session's state: connected standby, full screen, touch-first apps, idleness and
// metered networks, with their services substituted and, where Wine has them, real.
#include "ProbeFakes.h"

#include "LogFileReader.h"
#include "platform/PlatformNames.h"
#include "platform/PlatformProbes.h"

#include <gtest/gtest.h>

namespace {

using kstest::FakeProbeServices;
namespace names = KsPlatform::names;

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

} // namespace
