// Moving tasks between the enabled and the disabled parent, deleting them, listing them, and
// refusing names that would reach outside a task's own key.
#include "common/UniqueHandle.h"
#include "ExpectLogged.h"
#include "RegistryFixture.h"
#include "StoreTestSupport.h"

#include "store/TaskEnumeration.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace storetest;
namespace V = KsStore::ValueName;

class TaskState : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_TRUE(storeFull(L"task"));
    }
};

TEST_F(TaskState, EnumerationListsEachParent)
{
    ASSERT_TRUE(storeFull(L"Second", KS_TASK_LOGON));
    CKsTask second(L"second");
    ASSERT_TRUE(second.Read());
    ASSERT_TRUE(second.Disable());
    // A key created by hand with capitals is listed by its lower-case task name.
    RegistryFixture::setDword((std::wstring(KsStore::kSchedulerKeyPath) + L"\\ThirdTask").c_str(), L"x", 1);

    std::vector<std::wstring> enabled;
    std::vector<std::wstring> disabled;
    ASSERT_EQ(KsStore::enumerateTaskNames(KsStore::TaskParent::enabled, enabled), 0u);
    ASSERT_EQ(KsStore::enumerateTaskNames(KsStore::TaskParent::disabled, disabled), 0u);
    std::sort(enabled.begin(), enabled.end());
    EXPECT_EQ(enabled, (std::vector<std::wstring>{L"task", L"thirdtask"}));
    EXPECT_EQ(disabled, std::vector<std::wstring>{L"second"});
}

// A task stored again over its disabled copy keeps one copy, the enabled one just written:
// otherwise the engine runs one while every answer reads the other, disabled.
TEST_F(TaskState, StoringATaskAgainOverItsDisabledCopyKeepsOneCopy)
{
    CKsTask task(L"task");
    ASSERT_TRUE(task.Read() && task.Disable());
    ASSERT_TRUE(storeFull(L"task"));
    std::vector<std::wstring> enabled;
    std::vector<std::wstring> disabled;
    ASSERT_EQ(KsStore::enumerateTaskNames(KsStore::TaskParent::enabled, enabled), 0u);
    KsStore::enumerateTaskNames(KsStore::TaskParent::disabled, disabled);
    EXPECT_EQ(enabled, std::vector<std::wstring>{L"task"});
    EXPECT_EQ(disabled, std::vector<std::wstring>{});
    CKsTask again(L"task");
    ASSERT_TRUE(again.Read());
    EXPECT_FALSE(again.disabled());
}

class EmptyStore : public kstest::RegistryFixture {};

TEST_F(EmptyStore, MissingParentAnswersNotFound)
{
    std::vector<std::wstring> names{L"stale"};
    EXPECT_EQ(KsStore::enumerateTaskNames(KsStore::TaskParent::disabled, names), 2u);
    EXPECT_TRUE(names.empty());
}

TEST_F(EmptyStore, LookAlikeOfABackslashStaysInsideItsKey)
{
    // U+FF3C looks like a backslash; on its way through the ANSI code page it must not become one.
    ASSERT_TRUE(storeFull(L"a\uFF3Cb"));
    std::vector<std::wstring> names;
    ASSERT_EQ(KsStore::enumerateTaskNames(KsStore::TaskParent::enabled, names), 0u);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].find(L'\\'), std::wstring::npos);
    EXPECT_FALSE(keyExists((std::wstring(KsStore::kSchedulerKeyPath) + L"\\a").c_str()));
}

} // namespace
