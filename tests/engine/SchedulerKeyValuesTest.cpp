// Scheduler-key values read on demand: "idle_wait" and the retail-mode task list.
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

struct ListCase {
    const wchar_t* text;
    std::vector<std::wstring> names;
};

class RetailModeTaskList : public SchedulerKeyValuesTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(RetailModeTaskList, SplitsTrimsAndLowerCases)
{
    setString(kSchedulerKey, kDisabledInRetailModeTasksValue, GetParam().text);
    EXPECT_EQ(readDisabledInRetailModeTasks(), GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(Texts, RetailModeTaskList,
    ::testing::Values(ListCase{L"", {}},
                      ListCase{L"update", {L"update"}},
                      ListCase{L"Update, Full Scan ,,log", {L"update", L"full scan", L"log"}},
                      ListCase{L",", {}}));

} // namespace
