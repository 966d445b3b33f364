// The scheduler-key value read on demand: "idle_wait".
#include "engine/SchedulerKeyValues.h"

#include "RegistryFixture.h"
#include "engine/SchedulerRegistry.h"

#include <gtest/gtest.h>

namespace {

using namespace Keelwork::engine;

class SchedulerKeyValuesTest : public kstest::RegistryFixture {};

TEST_F(SchedulerKeyValuesTest, IdleWaitFollowsTheRegistryAndDefaultsToOne)
{
    EXPECT_EQ(readIdleWait(), 1u);
    setDword(kSchedulerKey, kIdleWaitValue, 0);
    EXPECT_EQ(readIdleWait(), 0u);
    ASSERT_EQ(RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSchedulerKey, kIdleWaitValue), ERROR_SUCCESS);
    EXPECT_EQ(readIdleWait(), 1u);
    setString(kSchedulerKey, kIdleWaitValue, L"0");
    EXPECT_EQ(readIdleWait(), 1u);
}

} // namespace
