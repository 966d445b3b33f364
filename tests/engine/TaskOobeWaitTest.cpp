// The per-task out-of-box wait, looked up by lower-cased task name in the override hives.
#include "engine/TaskOobeWait.h"

#include "RegistryFixture.h"

#include <gtest/gtest.h>

namespace {

using namespace Keelwork::engine;

constexpr const wchar_t* kOobeKey = L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler_oobe_wait";

class TaskOobeWaitTest : public kstest::RegistryFixture {};

TEST_F(TaskOobeWaitTest, TaskWithItsOwnValueGetsIt)
{
    setDword(kOobeKey, L"quickscan", 1800);
    EXPECT_EQ(readTaskOobeWait(L"QuickScan", 14400), 1800u);
}

TEST_F(TaskOobeWaitTest, OtherTasksGetTheGlobalWait)
{
    setDword(kOobeKey, L"quickscan", 1800);
    EXPECT_EQ(readTaskOobeWait(L"update", 14400), 14400u);
}

TEST_F(TaskOobeWaitTest, MissingKeyOrMistypedValueGivesTheGlobalWait)
{
    EXPECT_EQ(readTaskOobeWait(L"update", 99), 99u);
    setString(kOobeKey, L"update", L"5");
    EXPECT_EQ(readTaskOobeWait(L"update", 99), 99u);
}

TEST_F(TaskOobeWaitTest, PartnerValueIsSeenWithoutRestart)
{
    setDword(kOobeKey, L"update", 100);
    EXPECT_EQ(readTaskOobeWait(L"update", 99), 100u);
    setDword(L"SOFTWARE\\Kestrel\\Platform\\overrides\\p\\Settings\\taskscheduler_oobe_wait", L"update", 200);
    setDword(L"SOFTWARE\\Kestrel\\Platform\\overrides\\p", L"priority", 3);
    EXPECT_EQ(readTaskOobeWait(L"update", 99), 200u);
}

} // namespace
