// Which values each task type writes and reads, and what an empty trigger or event name means.
#include "RegistryFixture.h"
#include "StoreTestSupport.h"

#include "TestClock.h"
#include "store/CalendarRule.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace storetest;
namespace V = KsStore::ValueName;

struct TypeRule {
    uint32_t type;
    const char* label;
    bool timesMandatory;  // "NextRun" and "DefaultFreq" must exist
    bool readsOptions;    // the second group is read
    bool readsCalendar;   // day mask, interval, hour, minute are read
    bool writesSchedule;  // the second group is written
    bool writesCalendar;  // calendar values and preset values are written
};

const TypeRule kRules[] = {
    {KS_TASK_REBOOT, "reboot", false, false, false, true, false},
    {KS_TASK_LOGON, "logon", false, true, false, true, false},
    {KS_TASK_SCHEDULED, "scheduled", true, true, true, true, true},
    {KS_TASK_ONCE, "once", true, false, false, false, false},
    {KS_TASK_CUSTOM, "custom", true, true, true, true, true},
    {KS_TASK_PRESET, "preset", true, true, true, true, true},
    {7, "beyondKnownTypes", true, false, false, false, false},
};

class TypeRules : public kstest::RegistryFixture, public ::testing::WithParamInterface<TypeRule> {
protected:
    // Every value of the layout, protected, with the reference record's data.
    void storeEveryValue(const std::wstring& path)
    {
        KSTASKINFO r = makeFullRecord(GetParam().type);
        const std::pair<const wchar_t*, uint32_t> numbers[] = {
            {V::TaskType, r.dwTaskType}, {V::TaskTrigType, r.dwTaskTrigType}, {V::NextRun, r.dwNextRun},
            {V::DefaultFreq, r.dwDefaultFreq}, {V::TaskBatteryWise, r.dwBatteryWise},
            {V::TaskMeteredAccessWise, r.dwMeteredAccessWise}, {V::DayOfWeekMask, r.dwDayOfWeekMask},
            {V::Interval, r.dwInterval}, {V::Hour, r.dwHour}, {V::Minute, r.dwMinute},
            {V::RunInUserContext, r.dwRunInUserContext}, {V::RepeatTask, r.dwRepeatTask},
            {V::RunWhenIdle, r.dwRunWhenIdle}, {V::Priority, static_cast<uint32_t>(r.nPriority)},
            {V::PresetId, r.dwPresetId}, {V::RunInRetailMode, r.dwRunInRetailMode}};
        const std::pair<const wchar_t*, const char*> texts[] = {
            {V::TaskTrigger, "C:\\scan.exe"}, {V::TaskParams, "/quick"}, {V::TaskEventName, "ScanDone"},
            {V::PresetCategory, "scan"}, {V::User, "alice"}, {V::Domain, "HOME"}, {V::Appid, "kestrel.scanner"},
            {V::RuleName, "weekly-scan"}};
        for (const auto& [name, value] : numbers)
            writeProtectedDword(path, name, value);
        for (const auto& [name, text] : texts)
            writeProtectedAnsi(path, name, text);
        KsStore::freeStrings(r);
    }
};

TEST_P(TypeRules, WriteStoresTheValuesOfItsType)
{
    const TypeRule& rule = GetParam();
    ASSERT_TRUE(storeFull(L"task", rule.type));

    std::set<std::wstring> expected = {V::TaskType, V::TaskTrigType, V::TaskTrigger, V::TaskParams, V::TaskEventName};
    if (rule.writesSchedule) {
        expected.insert({V::NextRun, V::DefaultFreq, V::TaskBatteryWise, V::TaskMeteredAccessWise, V::RunInUserContext,
                         V::RepeatTask, V::RunWhenIdle, V::Priority, V::User, V::Domain, V::RunInRetailMode, V::Appid,
                         V::RuleName});
    }
    if (rule.writesCalendar)
        expected.insert({V::DayOfWeekMask, V::Interval, V::Hour, V::Minute, V::PresetCategory, V::PresetId});

    const std::wstring path = enabledPath(L"task");
    std::vector<std::wstring> names = valueNames(path);
    EXPECT_EQ(std::set<std::wstring>(names.begin(), names.end()), expected);
    for (const std::wstring& name : names)
        EXPECT_EQ(readRaw(path, name.c_str()).type, static_cast<DWORD>(REG_BINARY)) << "plain value " << name.c_str();
}

TEST_P(TypeRules, ReadTakesTheValuesOfItsType)
{
    const TypeRule& rule = GetParam();
    storeEveryValue(enabledPath(L"task"));
    CKsTask task(L"task");
    ASSERT_TRUE(task.Read());

    EXPECT_EQ(task.dwTaskType, rule.type);
    EXPECT_TRUE(task.pwszTaskTrigger && std::wstring(task.pwszTaskTrigger) == L"C:\\scan.exe");
    EXPECT_TRUE(task.pwszUser && std::wstring(task.pwszUser) == L"alice") << "read for every type";
    EXPECT_TRUE(task.pwszRuleName && std::wstring(task.pwszRuleName) == L"weekly-scan");
    EXPECT_EQ(task.dwNextRun, 1700000000u);
    EXPECT_EQ(task.dwDefaultFreq, 86400u);

    EXPECT_EQ(task.dwBatteryWise, rule.readsOptions ? 1u : 0u);
    EXPECT_EQ(task.nPriority, rule.readsOptions ? KS_PRIORITY_HIGH : KS_PRIORITY_DEFAULT);
    EXPECT_EQ(task.dwRunInRetailMode, rule.readsOptions ? 0u : 1u);
    EXPECT_EQ(task.pwszPresetCategory != nullptr, rule.readsOptions);
    EXPECT_EQ(task.dwHour, rule.readsCalendar ? 9u : 0u);
    EXPECT_EQ(task.dwDayOfWeekMask, rule.readsCalendar ? 0x22u : 0u);
}

TEST_P(TypeRules, MissingTimesFailOnlyTimedTypes)
{
    const TypeRule& rule = GetParam();
    const std::wstring path = enabledPath(L"task");
    storeEveryValue(path);
    deleteRaw(path, V::NextRun);
    deleteRaw(path, V::DefaultFreq);
    CKsTask task(L"task");
    EXPECT_EQ(task.Read(), !rule.timesMandatory);
    if (!rule.timesMandatory) {
        EXPECT_EQ(task.dwNextRun, 0u);
        EXPECT_EQ(task.dwDefaultFreq, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Types, TypeRules, ::testing::ValuesIn(kRules),
                         [](const auto& info) { return std::string(info.param.label); });

class SparseKey : public kstest::RegistryFixture {};

TEST_F(SparseKey, EmptyTriggerIsNotATaskAndEmptyEventNameIsAbsent)
{
    const std::wstring path = enabledPath(L"task");
    writeProtectedDword(path, V::TaskType, KS_TASK_LOGON);
    writeProtectedAnsi(path, V::TaskTrigger, "C:\\scan.exe");
    writeProtectedAnsi(path, V::TaskEventName, "");
    CKsTask task(L"task");
    ASSERT_TRUE(task.Read());
    EXPECT_EQ(task.pwszTaskEventName, nullptr);

    writeProtectedAnsi(path, V::TaskTrigger, "");
    CKsTask empty(L"task");
    EXPECT_FALSE(empty.Read());
}

class CalendarWrite : public kstest::RegistryFixture {};

// A custom task's next run comes from its calendar; a scheduled task keeps the one it was given.
TEST_F(CalendarWrite, OnlyCustomTaskStoresTheCalendarResult)
{
    const kstest::TestClock clock(1800000000u);
    for (uint32_t type : {KS_TASK_CUSTOM, KS_TASK_SCHEDULED}) {
        KSTASKINFO record = makeFullRecord(type);
        record.dwNextRun = 12345;
        const KsCalendar::CalendarRule rule{record.dwDayOfWeekMask, record.dwInterval, record.dwHour, record.dwMinute};
        const uint32_t computed = KsCalendar::computeNextRun(rule, record.dwNextRun, clock.now(), clock.now());
        ASSERT_NE(computed, record.dwNextRun);
        ASSERT_TRUE(storeTask(L"task", record));
        KsStore::freeStrings(record);
        CKsTask task(L"task");
        ASSERT_TRUE(task.Read());
        EXPECT_EQ(task.dwNextRun, type == KS_TASK_CUSTOM ? computed : 12345u) << type;
    }
}

class WriteRefusal : public kstest::RegistryFixture {};

TEST_F(WriteRefusal, TypeZeroOrNoTriggerWritesNothing)
{
    CKsTask untyped(L"task");
    untyped.pwszTaskTrigger = KsStore::duplicateString(L"C:\\scan.exe");
    EXPECT_FALSE(untyped.Write());
    CKsTask noTrigger(L"task");
    noTrigger.dwTaskType = KS_TASK_SCHEDULED;
    EXPECT_FALSE(noTrigger.Write());
    EXPECT_FALSE(keyExists(enabledPath(L"task").c_str()));
}

} // namespace
