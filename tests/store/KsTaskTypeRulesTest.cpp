// Which values each task type writes and reads, the defaults of a sparse key, and the 32-bit
// edges of "NextRun".
#include "KsTaskTestSupport.h"
#include "RegistryFixture.h"
#include "StoreTestSupport.h"

#include "common/Clock.h"
#include "store/CalendarRule.h"
#include "store/TaskEnumeration.h"

#include <gtest/gtest.h>

#include <algorithm>
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
        writeProtectedDword(path, V::TaskType, r.dwTaskType);
        writeProtectedDword(path, V::TaskTrigType, r.dwTaskTrigType);
        writeProtectedAnsi(path, V::TaskTrigger, "C:\\scan.exe");
        writeProtectedAnsi(path, V::TaskParams, "/quick");
        writeProtectedAnsi(path, V::TaskEventName, "ScanDone");
        writeProtectedDword(path, V::NextRun, r.dwNextRun);
        writeProtectedDword(path, V::DefaultFreq, r.dwDefaultFreq);
        writeProtectedDword(path, V::TaskBatteryWise, r.dwBatteryWise);
        writeProtectedDword(path, V::TaskMeteredAccessWise, r.dwMeteredAccessWise);
        writeProtectedDword(path, V::DayOfWeekMask, r.dwDayOfWeekMask);
        writeProtectedDword(path, V::Interval, r.dwInterval);
        writeProtectedDword(path, V::Hour, r.dwHour);
        writeProtectedDword(path, V::Minute, r.dwMinute);
        writeProtectedDword(path, V::RunInUserContext, r.dwRunInUserContext);
        writeProtectedDword(path, V::RepeatTask, r.dwRepeatTask);
        writeProtectedDword(path, V::RunWhenIdle, r.dwRunWhenIdle);
        writeProtectedDword(path, V::Priority, static_cast<uint32_t>(r.nPriority));
        writeProtectedAnsi(path, V::PresetCategory, "scan");
        writeProtectedDword(path, V::PresetId, r.dwPresetId);
        writeProtectedAnsi(path, V::User, "alice");
        writeProtectedAnsi(path, V::Domain, "HOME");
        writeProtectedDword(path, V::RunInRetailMode, r.dwRunInRetailMode);
        writeProtectedAnsi(path, V::Appid, "kestrel.scanner");
        writeProtectedAnsi(path, V::RuleName, "weekly-scan");
        KsStore::freeStrings(r);
    }
};

TEST_P(TypeRules, WriteStoresTheValuesOfItsType)
{
    const TypeRule& rule = GetParam();
    KSTASKINFO record = makeFullRecord(rule.type);
    ASSERT_TRUE(storeTask(L"task", record));
    KsStore::freeStrings(record);

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

TEST_F(SparseKey, MandatoryValuesAloneLoadWithDefaults)
{
    const std::wstring path = enabledPath(L"task");
    writeProtectedDword(path, V::TaskType, KS_TASK_SCHEDULED);
    writeProtectedAnsi(path, V::TaskTrigger, "C:\\scan.exe");
    writeProtectedDword(path, V::NextRun, 5);
    writeProtectedDword(path, V::DefaultFreq, 6);
    CKsTask task(L"task");
    ASSERT_TRUE(task.Read());
    EXPECT_EQ(task.nPriority, KS_PRIORITY_DEFAULT);
    EXPECT_EQ(task.dwRunInRetailMode, 1u);
    EXPECT_EQ(task.dwTaskTrigType, 0u);
    EXPECT_EQ(task.pwszTaskParams, nullptr);
    EXPECT_EQ(task.pwszTaskEventName, nullptr);
    EXPECT_EQ(task.pwszUser, nullptr);
    EXPECT_EQ(task.dwBatteryWise, 0u);
}

TEST_F(SparseKey, TypeZeroIsNotATask)
{
    const std::wstring path = enabledPath(L"task");
    writeProtectedDword(path, V::TaskType, KS_TASK_UNKNOWN);
    writeProtectedAnsi(path, V::TaskTrigger, "C:\\scan.exe");
    writeProtectedDword(path, V::NextRun, 5);
    writeProtectedDword(path, V::DefaultFreq, 6);
    CKsTask task(L"task");
    EXPECT_FALSE(task.Read());
}

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

TEST_F(SparseKey, LongStringIsCutTo1039Characters)
{
    const std::wstring path = enabledPath(L"task");
    writeProtectedDword(path, V::TaskType, KS_TASK_LOGON);
    writeProtectedAnsi(path, V::TaskTrigger, std::string(1500, 'p'));
    CKsTask task(L"task");
    ASSERT_TRUE(task.Read());
    EXPECT_EQ(std::wstring(task.pwszTaskTrigger), std::wstring(1039, L'p'));
}

TEST_F(SparseKey, CapitalisedNameIsStoredInLowerCase)
{
    KSTASKINFO record = makeFullRecord(KS_TASK_SCHEDULED);
    ASSERT_TRUE(storeTask(L"Weekly_SCAN", record));
    KsStore::freeStrings(record);
    EXPECT_TRUE(keyExists(enabledPath(L"weekly_scan").c_str()));
    std::vector<std::wstring> names;
    ASSERT_EQ(KsStore::enumerateTaskNames(KsStore::TaskParent::enabled, names), 0u);
    EXPECT_EQ(names, std::vector<std::wstring>{L"weekly_scan"});
    CKsTask again(L"WEEKLY_scan");
    EXPECT_TRUE(again.Read());
}

TEST_F(SparseKey, LongNameIsCutTo127Characters)
{
    std::wstring longName(200, L'N');
    KSTASKINFO record = makeFullRecord(KS_TASK_SCHEDULED);
    ASSERT_TRUE(storeTask(longName.c_str(), record));
    KsStore::freeStrings(record);
    EXPECT_TRUE(keyExists(enabledPath(std::wstring(127, L'n')).c_str()));
}

class NextRunEdge : public kstest::RegistryFixture, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(NextRunEdge, SurvivesWriteAndRead)
{
    KSTASKINFO record = makeFullRecord(KS_TASK_SCHEDULED);
    record.dwNextRun = GetParam();
    record.dwDefaultFreq = GetParam();
    ASSERT_TRUE(storeTask(L"edge", record));
    KsStore::freeStrings(record);
    CKsTask task(L"edge");
    ASSERT_TRUE(task.Read());
    EXPECT_EQ(task.dwNextRun, GetParam());
    EXPECT_EQ(task.dwDefaultFreq, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Edges, NextRunEdge, ::testing::Values(0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu));

class FixedClock final : public Keelwork::Clock {
public:
    explicit FixedClock(uint32_t now) : m_now(now) {}
    uint32_t now() const override { return m_now; }

private:
    uint32_t m_now;
};

class CalendarWrite : public kstest::RegistryFixture {
protected:
    void TearDown() override
    {
        Keelwork::Clock::install(nullptr);
        RegistryFixture::TearDown();
    }
};

TEST_F(CalendarWrite, CustomTaskStoresTheCalendarResult)
{
    const FixedClock clock(1800000000u);
    Keelwork::Clock::install(&clock);
    KSTASKINFO record = makeFullRecord(KS_TASK_CUSTOM);
    record.dwNextRun = 12345;
    const KsCalendar::CalendarRule rule{record.dwDayOfWeekMask, record.dwInterval, record.dwHour, record.dwMinute};
    const uint32_t expected = KsCalendar::computeNextRun(rule, record.dwNextRun, clock.now(), clock.now());
    ASSERT_NE(expected, record.dwNextRun);
    ASSERT_TRUE(storeTask(L"custom", record));
    KsStore::freeStrings(record);

    CKsTask task(L"custom");
    ASSERT_TRUE(task.Read());
    EXPECT_EQ(task.dwNextRun, expected);
}

TEST_F(CalendarWrite, ScheduledTaskKeepsItsNextRun)
{
    const FixedClock clock(1800000000u);
    Keelwork::Clock::install(&clock);
    KSTASKINFO record = makeFullRecord(KS_TASK_SCHEDULED);
    record.dwNextRun = 12345;
    ASSERT_TRUE(storeTask(L"scheduled", record));
    KsStore::freeStrings(record);
    CKsTask task(L"scheduled");
    ASSERT_TRUE(task.Read());
    EXPECT_EQ(task.dwNextRun, 12345u);
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

TEST_F(WriteRefusal, EventTriggerDoesNotStoreParams)
{
    KSTASKINFO record = makeFullRecord(KS_TASK_SCHEDULED);
    record.dwTaskTrigType = KS_TRIGGER_EVENT;
    KsStore::freeString(record.pwszUser);
    ASSERT_TRUE(storeTask(L"task", record));
    KsStore::freeStrings(record);
    EXPECT_EQ(readRaw(enabledPath(L"task"), V::TaskParams).status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(readRaw(enabledPath(L"task"), V::User).status, ERROR_FILE_NOT_FOUND) << "absent strings stay absent";
}

} // namespace
