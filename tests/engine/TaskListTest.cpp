// The task list against the registry: loading, refresh, removal of old-generation tasks and the
// retail-disabled names.
#include "TaskManagerFixture.h"

#include <gtest/gtest.h>

namespace {

using kstest::storeTask;
using Names = std::vector<std::wstring>;

class TaskList : public kstest::TaskManagerFixture {};

TEST_F(TaskList, RenameBetweenRefreshesLeavesOnlyTheNewName)
{
    storeTask({.name = L"old"});
    auto& manager = gather();
    manager.Refresh();
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    ASSERT_TRUE(CKsTask(L"old").Delete());
    storeTask({.name = L"new"});
    manager.Refresh();
    EXPECT_EQ(mapNames(), Names{L"new"});
}

TEST_F(TaskList, VanishedTaskStaysUntilTheQueueBuilderVisitedIt)
{
    storeTask({.name = L"gone"});
    auto& manager = gather();
    manager.Refresh();
    ASSERT_TRUE(CKsTask(L"gone").Delete());
    manager.Refresh();
    EXPECT_EQ(mapNames(), Names{L"gone"});
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    manager.Refresh();
    EXPECT_EQ(mapNames(), Names{});
}

TEST_F(TaskList, ZarnTasksAreDeletedAtStartAndTheBarePrefixIsLeft)
{
    for (const wchar_t* name : {L"zarn_logs", L"zarn", L"scan"})
        storeTask({.name = name});
    auto& manager = gather();
    EXPECT_EQ(manager.DeleteAllZARNTasks(), 0u);
    EXPECT_EQ(mapNames(), (Names{L"scan", L"zarn"}));
    EXPECT_FALSE(keyExists(L"SOFTWARE\\Kestrel\\Platform\\Scheduler\\zarn_logs"));
    EXPECT_TRUE(keyExists(L"SOFTWARE\\Kestrel\\Platform\\Scheduler\\zarn"));
}

TEST_F(TaskList, RetailNamesInMixedCaseAreKeptInLowerCaseAndHeldBackInDemoMode)
{
    setString(kstest::kTasksKey, L"DisabledInRetailModeTasks", L"Update,SCAN");
    for (const wchar_t* name : {L"update", L"scan", L"report"})
        storeTask({.name = name});
    auto& manager = gather(true);
    EXPECT_FALSE(manager.IsTaskAllowedInRetailMode(L"update"));
    EXPECT_FALSE(manager.IsTaskAllowedInRetailMode(L"Scan"));
    EXPECT_TRUE(manager.IsTaskAllowedInRetailMode(L"report"));
    manager._AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    auto queued = drainQueue();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].first, L"report");
}

TEST_F(TaskList, NextWakeTime)
{
    setString(kstest::kTasksKey, L"DisabledInRetailModeTasks", L"");
    gather();
    EXPECT_EQ(m_manager->FindMinNextRunTime(), 0xFFFFFFFFu);
    storeTask({.name = L"late"});
    storeTask({.name = L"logon", .type = KS_TASK_LOGON, .nextRun = 1});
    gather();
    EXPECT_EQ(m_manager->FindMinNextRunTime(), kstest::kNow + 900);
    storeTask({.name = L"later", .nextRun = kstest::kNow + 500});
    storeTask({.name = L"soon", .nextRun = kstest::kNow + 200});
    gather();
    EXPECT_EQ(m_manager->FindMinNextRunTime(), kstest::kNow + 200);

    // Due after the queue build but before the search: the build missed it, so the search names it.
    m_manager->_AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
    m_clock.value = kstest::kNow + 300;
    EXPECT_EQ(m_manager->FindMinNextRunTime(), kstest::kNow + 200);
}

} // namespace
