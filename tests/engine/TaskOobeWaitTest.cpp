// The per-task out-of-box wait, looked up by lower-cased task name in the override hives.
#include "engine/TaskOobeWait.h"

#include "RegistryFixture.h"

#include <gtest/gtest.h>

namespace {

using namespace Keelwork::engine;

constexpr const wchar_t* kOobeKey = L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler_oobe_wait";

class TaskOobeWaitTest : public kstest::RegistryFixture {};

// A task's own value, found whatever the case of its name; every other task, and a mistyped
// value, gets the global wait.
TEST_F(TaskOobeWaitTest, TaskWithItsOwnValueGetsItAndEveryOtherTheGlobalWait)
{
    EXPECT_EQ(readTaskOobeWait(L"update", 99), 99u);
    setDword(kOobeKey, L"quickscan", 1800);
    setString(kOobeKey, L"update", L"5");
    EXPECT_EQ(readTaskOobeWait(L"QuickScan", 14400), 1800u);
    EXPECT_EQ(readTaskOobeWait(L"update", 14400), 14400u);
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
