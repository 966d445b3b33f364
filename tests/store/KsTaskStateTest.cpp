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

TEST_F(TaskState, DisableMovesTheKeyAndEnableMovesItBack)
{
    const std::wstring enabled = enabledPath(L"task");
    const std::wstring disabled = disabledPath(L"task");
    writeProtectedDword(enabled, V::LogonNextRun, 99);
    {
        CKsTask task(L"task");
        ASSERT_TRUE(task.Read());
        EXPECT_FALSE(task.disabled());
        ASSERT_TRUE(task.Disable());
    }
    EXPECT_FALSE(keyExists(enabled.c_str()));
    EXPECT_TRUE(keyExists(disabled.c_str()));
    EXPECT_EQ(readRaw(disabled, V::LogonNextRun).status, ERROR_FILE_NOT_FOUND) << "only what Write produces moves";

    CKsTask task(L"task");
    ASSERT_TRUE(task.Read());
    EXPECT_TRUE(task.disabled());
    EXPECT_EQ(std::wstring(task.currentPath()), disabled);
    EXPECT_EQ(task.dwPresetId, 4u);
    ASSERT_TRUE(task.Enable());
    EXPECT_TRUE(keyExists(enabled.c_str()));
    EXPECT_FALSE(keyExists(disabled.c_str()));

    CKsTask again(L"task");
    EXPECT_TRUE(again.Read());
    EXPECT_FALSE(again.disabled());
}

// The object's own state decides: once the key is gone behind its back, a no-op move must not
// bring it back.
TEST_F(TaskState, MoveToTheCurrentParentWritesNothing)
{
    for (bool disable : {false, true}) {
        ASSERT_TRUE(storeFull(L"task"));
        CKsTask task(L"task");
        ASSERT_TRUE(task.Read());
        if (disable) {
            ASSERT_TRUE(task.Disable());
        }
        ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel"), ERROR_SUCCESS);
        EXPECT_TRUE(disable ? task.Disable() : task.Enable());
        EXPECT_FALSE(keyExists(KsStore::kSchedulerKeyPath)) << disable;
        EXPECT_FALSE(keyExists(KsStore::kSchedulerDisabledKeyPath)) << disable;
    }
}

TEST_F(TaskState, DeleteRemovesTheCurrentKey)
{
    CKsTask task(L"task");
    ASSERT_TRUE(task.IsDisabled() == false);
    EXPECT_TRUE(task.Delete());
    EXPECT_FALSE(keyExists(enabledPath(L"task").c_str()));
    EXPECT_TRUE(keyExists(KsStore::kSchedulerKeyPath)) << "the parent stays";
}

TEST_F(TaskState, FailedDeleteIsLogged)
{
    CKsTask missing(L"missing");
    kstest::LogCapture capture;
    EXPECT_FALSE(missing.Delete());
    EXPECT_LOGGED(capture, ::ETWLogging::LOG_LEVEL_ERROR, L"Unable to delete registry key " + enabledPath(L"missing") + L", error 2");

    // A key with sub-keys is not deleted either.
    Keelwork::unique_hkey child;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (enabledPath(L"task") + L"\\child").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, child.put(), nullptr),
              ERROR_SUCCESS);
    child.reset();
    CKsTask task(L"task");
    EXPECT_FALSE(task.Delete());
    EXPECT_TRUE(keyExists(enabledPath(L"task").c_str()));
}

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

class EmptyStore : public kstest::RegistryFixture {};

TEST_F(EmptyStore, MissingParentAnswersNotFound)
{
    std::vector<std::wstring> names{L"stale"};
    EXPECT_EQ(KsStore::enumerateTaskNames(KsStore::TaskParent::disabled, names), 2u);
    EXPECT_TRUE(names.empty());
}

// Names that would make the key path point somewhere else than one task key.
class RefusedName : public kstest::RegistryFixture, public ::testing::WithParamInterface<std::wstring> {};

TEST_P(RefusedName, EveryOperationFailsAndIsLogged)
{
    const std::wstring& name = GetParam();
    // A real task that a backslash-name could otherwise reach.
    KSTASKINFO record = makeFullRecord(KS_TASK_SCHEDULED);
    ASSERT_TRUE(storeTask(L"victim", record));

    kstest::LogCapture capture;
    CKsTask task(name.c_str());
    EXPECT_FALSE(task.IsDisabled());
    EXPECT_FALSE(task.Read());
    EXPECT_EQ(task.Assign(&record), 87u);
    task.dwTaskType = KS_TASK_SCHEDULED;
    task.pwszTaskTrigger = KsStore::duplicateString(L"C:\\evil.exe");
    EXPECT_FALSE(task.Write());
    EXPECT_FALSE(task.Delete());
    EXPECT_FALSE(task.Disable());
    EXPECT_FALSE(task.Enable());
    KsStore::freeStrings(record);

    EXPECT_LOGGED(capture, ::ETWLogging::LOG_LEVEL_ERROR, L"Invalid task name '" + name + L"'");
    std::vector<std::wstring> names;
    ASSERT_EQ(KsStore::enumerateTaskNames(KsStore::TaskParent::enabled, names), 0u);
    EXPECT_EQ(names, std::vector<std::wstring>{L"victim"});
    EXPECT_FALSE(keyExists(KsStore::kSchedulerDisabledKeyPath));
    CKsTask victim(L"victim");
    ASSERT_TRUE(victim.Read());
    EXPECT_EQ(std::wstring(victim.pwszTaskTrigger), L"C:\\Program Files\\Kestrel\\scan.exe");
}

INSTANTIATE_TEST_SUITE_P(Names, RefusedName,
                         ::testing::Values(std::wstring(), std::wstring(L"\\"), std::wstring(L"..\\victim"),
                                           std::wstring(L"victim\\sub"), std::wstring(L"a\\b")),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

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
