// Assign: the size check with its log lines, and which fields each record size carries.
#include "ExpectLogged.h"
#include "RegistryFixture.h"
#include "StoreTestSupport.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

using namespace storetest;

struct SizeCase {
    uint32_t size;
    uint32_t result;
    bool takesBase;
    bool takesDerived;
    bool takesLane;
};

const SizeCase kSizes[] = {
    {100, 87, false, false, false}, {127, 87, false, false, false}, {128, 0, true, false, false},
    {140, 0, true, false, false},   {152, 0, true, true, false},    {167, 0, true, true, false},
    {168, 0, true, true, true},     {200, 0, true, true, true},
};

// The size line each record size gives; empty for a full record.
std::pair<uint32_t, std::wstring> sizeLine(const SizeCase& c)
{
    const std::wstring start = L"The size of the KSTASKINFO struct passed in is " + std::to_wstring(c.size);
    if (!c.takesBase)
        return {::ETWLogging::LOG_LEVEL_ERROR, start + L", but a valid struct must have a size of at least the base struct size of 128"};
    if (!c.takesDerived)
        return {::ETWLogging::LOG_LEVEL_INFORMATION, start + L", less that the derrived struct size of 152; therefore we will use only "
                                        L"the base struct portion"};
    return {0, L""};
}

bool same(const wchar_t* a, const wchar_t* b) { return a && b && std::wcscmp(a, b) == 0; }

class AssignSize : public kstest::RegistryFixture, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(AssignSize, CopiesWhatTheSizeCovers)
{
    const SizeCase& c = GetParam();
    KSTASKINFO_LANE source{};
    static_cast<KSTASKINFO&>(source) = makeFullRecord(KS_TASK_CUSTOM);
    source.dwMaxRunTime = 90;
    source.dwBackground = 1;
    source.dwSpread = 600;
    source.dwSize = c.size;
    CKsTask task(L"task");
    kstest::LogCapture capture;

    EXPECT_EQ(task.Assign(&source), c.result);

    const auto [level, line] = sizeLine(c);
    if (level)
        EXPECT_LOGGED(capture, level, line);
    else
        EXPECT_FALSE(capture.contains(L"The size of the KSTASKINFO struct"));
    EXPECT_FALSE(capture.contains(L"ksutil.dll KSTASKINFO size base assign failed"));

    EXPECT_EQ(task.dwSize, 168u);
    EXPECT_EQ(task.dwMaxRunTime, c.takesLane ? 90u : 0u);
    EXPECT_EQ(task.dwBackground, c.takesLane ? 1u : 0u);
    EXPECT_EQ(task.dwSpread, c.takesLane ? 600u : 0u);
    EXPECT_EQ(task.dwTaskType, c.takesBase ? source.dwTaskType : 0u);
    EXPECT_EQ(task.dwNextRun, c.takesBase ? source.dwNextRun : 0u);
    EXPECT_EQ(task.nPriority, c.takesBase ? source.nPriority : KS_PRIORITY_DEFAULT);
    EXPECT_EQ(task.dwPresetId, c.takesBase ? source.dwPresetId : 0u);
    EXPECT_EQ(task.dwMinute, c.takesBase ? source.dwMinute : 0u);
    EXPECT_EQ(task.dwReserved, 0u) << "never copied";
    EXPECT_EQ(same(task.pwszTaskTrigger, source.pwszTaskTrigger), c.takesBase);
    EXPECT_EQ(same(task.pwszTaskParams, source.pwszTaskParams), c.takesBase);
    EXPECT_EQ(same(task.pwszTaskEventName, source.pwszTaskEventName), c.takesBase);
    EXPECT_EQ(same(task.pwszPresetCategory, source.pwszPresetCategory), c.takesBase);
    EXPECT_EQ(same(task.pwszUser, source.pwszUser), c.takesBase);
    EXPECT_EQ(same(task.pwszDomain, source.pwszDomain), c.takesBase);
    EXPECT_EQ(task.dwRunInRetailMode, c.takesDerived ? source.dwRunInRetailMode : 1u);
    EXPECT_EQ(same(task.pwszAppid, source.pwszAppid), c.takesDerived);
    EXPECT_EQ(same(task.pwszRuleName, source.pwszRuleName), c.takesDerived);
    if (!c.takesDerived) {
        EXPECT_TRUE(task.pwszAppid == nullptr && task.pwszRuleName == nullptr);
    }
    if (c.takesBase) {
        EXPECT_NE(task.pwszTaskTrigger, source.pwszTaskTrigger) << "the task holds copies, not the caller's strings";
    }
    KsStore::freeStrings(source);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AssignSize, ::testing::ValuesIn(kSizes),
                         [](const auto& info) { return "Size" + std::to_string(info.param.size); });

class Assign : public kstest::RegistryFixture {};

TEST_F(Assign, MakesTheEnabledKeyCurrent)
{
    KSTASKINFO record = makeFullRecord(KS_TASK_SCHEDULED);
    {
        CKsTask task(L"task");
        ASSERT_EQ(task.Assign(&record), 0u);
        ASSERT_TRUE(task.Disable());
    }
    CKsTask task(L"task");
    ASSERT_TRUE(task.Read());
    ASSERT_TRUE(task.disabled());
    KSTASKINFO small = makeFullRecord(KS_TASK_SCHEDULED);
    small.dwSize = 100;
    EXPECT_EQ(task.Assign(&small), 87u);
    EXPECT_FALSE(task.disabled());
    EXPECT_EQ(std::wstring(task.currentPath()), enabledPath(L"task"));
    KsStore::freeStrings(record);
    KsStore::freeStrings(small);
}

} // namespace
