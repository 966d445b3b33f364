// The task JSON form, parse direction: every codec's accepted and refused texts, fields left
// alone on refusal, members of the wrong JSON kind, and the stop at the first refused row.
#include "ExpectLogged.h"
#include "ManagementTestSupport.h"
#include "management/TaskManagement.h"
#include "store/KsTaskInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

using Orbis::TaskManagement;

namespace {

constexpr uint32_t kSentinel = 0xA5A5A5A5u;

// A record whose number fields all hold the sentinel, so any change shows.
KSTASKINFO_LANE sentinelRecord()
{
    KSTASKINFO_LANE record;
    std::memset(&record, 0xA5, sizeof(record));
    record.dwSize = sizeof(KSTASKINFO_LANE);
    record.pwszTaskTrigger = record.pwszTaskParams = record.pwszTaskEventName = nullptr;
    record.pwszPresetCategory = record.pwszUser = record.pwszDomain = nullptr;
    record.pwszAppid = record.pwszRuleName = nullptr;
    return record;
}

struct NumberCase {
    const wchar_t* key;
    const wchar_t* text;
    bool accepted;
    long long stored; // the field after the call; the sentinel when refused
};

void PrintTo(const NumberCase& c, std::ostream* os)
{
    *os << mgmttest::printable(c.key) << '=' << mgmttest::printable(c.text);
}

long long fieldOf(const KSTASKINFO_LANE& r, const std::wstring& key)
{
    if (key == L"priority")
        return r.nPriority;
    static const std::map<std::wstring, uint32_t KSTASKINFO_LANE::*> fields = {
        {L"taskType", &KSTASKINFO::dwTaskType}, {L"triggerType", &KSTASKINFO::dwTaskTrigType},
        {L"interval", &KSTASKINFO::dwInterval}, {L"hour", &KSTASKINFO::dwHour}, {L"minute", &KSTASKINFO::dwMinute},
        {L"nextRun", &KSTASKINFO::dwNextRun}, {L"defaultFreq", &KSTASKINFO::dwDefaultFreq},
        {L"presetId", &KSTASKINFO::dwPresetId}, {L"batteryWise", &KSTASKINFO::dwBatteryWise},
        {L"runInUserContext", &KSTASKINFO::dwRunInUserContext}, {L"repeat", &KSTASKINFO::dwRepeatTask},
        {L"runWhenIdle", &KSTASKINFO::dwRunWhenIdle}, {L"runInRetail", &KSTASKINFO::dwRunInRetailMode},
        {L"daysOfWeek", &KSTASKINFO::dwDayOfWeekMask}, {L"maxRunTime", &KSTASKINFO_LANE::dwMaxRunTime},
        {L"background", &KSTASKINFO_LANE::dwBackground}, {L"spread", &KSTASKINFO_LANE::dwSpread}};
    return r.*fields.at(key);
}

class NumberFieldParse : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberFieldParse, StoresAcceptedTextsAndLeavesFieldOnRefusal)
{
    const NumberCase& c = GetParam();
    KSTASKINFO_LANE record = sentinelRecord();
    const std::wstring payload = std::wstring(L"{\"") + c.key + L"\":\"" + c.text + L"\"}";
    EXPECT_EQ(TaskManagement::deserializeTask(payload, record), c.accepted) << payload;
    const long long untouched =
        c.key == std::wstring(L"priority") ? static_cast<long long>(static_cast<int32_t>(kSentinel)) : kSentinel;
    EXPECT_EQ(fieldOf(record, c.key), c.accepted ? c.stored : untouched) << payload;
    // The sentinel survives in an untouched neighbour: one row changes one field.
    EXPECT_EQ(record.dwReserved, kSentinel);
}

INSTANTIATE_TEST_SUITE_P(Enumerations, NumberFieldParse, ::testing::Values(
    NumberCase{L"taskType", L"unknown", true, 0}, NumberCase{L"taskType", L"reboot", true, 1},
    NumberCase{L"taskType", L"logon", true, 2}, NumberCase{L"taskType", L"scheduled", true, 3},
    NumberCase{L"taskType", L"once", true, 4}, NumberCase{L"taskType", L"custom", true, 5},
    NumberCase{L"taskType", L"preset", true, 6}, NumberCase{L"taskType", L"Scheduled", false, 0},
    NumberCase{L"taskType", L"", false, 0}, NumberCase{L"taskType", L"3", false, 0},
    NumberCase{L"taskType", L"scheduled ", false, 0},
    NumberCase{L"triggerType", L"process", true, 0}, NumberCase{L"triggerType", L"event", true, 1},
    NumberCase{L"triggerType", L"Event", false, 0},
    NumberCase{L"interval", L"none", true, 0}, NumberCase{L"interval", L"weekly", true, 1},
    NumberCase{L"interval", L"biweekly", true, 2}, NumberCase{L"interval", L"firstInMonth", true, 3},
    NumberCase{L"interval", L"lastInMonth", true, 4}, NumberCase{L"interval", L"firstinmonth", false, 0},
    NumberCase{L"priority", L"default", true, -1}, NumberCase{L"priority", L"lowest", true, 0},
    NumberCase{L"priority", L"low", true, 1}, NumberCase{L"priority", L"normal", true, 9},
    NumberCase{L"priority", L"high", true, 10}, NumberCase{L"priority", L"highest", true, 90},
    NumberCase{L"priority", L"realtime", true, 100}, NumberCase{L"priority", L"9", false, 0}));

// One row per conversion rule the codec relies on, not the CRT's own cases; and each field's wiring.
INSTANTIATE_TEST_SUITE_P(UnsignedNumbers, NumberFieldParse, ::testing::Values(
    NumberCase{L"hour", L" 7", true, 7}, NumberCase{L"hour", L"", false, 0},
    NumberCase{L"hour", L"4294967296", false, 0}, NumberCase{L"hour", L"4294967295", true, 4294967295LL},
    NumberCase{L"minute", L"-1", true, 4294967295LL}, NumberCase{L"minute", L"12abc", true, 12},
    NumberCase{L"minute", L"abc", false, 0}, NumberCase{L"minute", L"0x10", true, 0},
    NumberCase{L"nextRun", L"007", true, 7}, NumberCase{L"defaultFreq", L"86400", true, 86400},
    NumberCase{L"presetId", L"3.9", true, 3}, NumberCase{L"maxRunTime", L"7200", true, 7200},
    NumberCase{L"spread", L"3600", true, 3600}, NumberCase{L"spread", L"soon", false, 0}));

INSTANTIATE_TEST_SUITE_P(Booleans, NumberFieldParse, ::testing::Values(
    NumberCase{L"batteryWise", L"true", true, 1}, NumberCase{L"batteryWise", L"false", true, 0},
    NumberCase{L"batteryWise", L"TRUE", false, 0}, NumberCase{L"runInUserContext", L"1", false, 0},
    NumberCase{L"runInUserContext", L"true", true, 1}, NumberCase{L"repeat", L"yes", false, 0},
    NumberCase{L"repeat", L"false", true, 0}, NumberCase{L"runWhenIdle", L"true", true, 1},
    NumberCase{L"runInRetail", L"false", true, 0}, NumberCase{L"runInRetail", L" true", false, 0},
    NumberCase{L"background", L"true", true, 1}, NumberCase{L"background", L"1", false, 0}));

INSTANTIATE_TEST_SUITE_P(DayDigits, NumberFieldParse, ::testing::Values(
    NumberCase{L"daysOfWeek", L"135", true, 21}, NumberCase{L"daysOfWeek", L"01", true, 1},
    NumberCase{L"daysOfWeek", L"7", true, 64}, NumberCase{L"daysOfWeek", L"1234567", true, 127},
    NumberCase{L"daysOfWeek", L"0", true, 0}, NumberCase{L"daysOfWeek", L"", true, 0},
    NumberCase{L"daysOfWeek", L"11", true, 1}, NumberCase{L"daysOfWeek", L"8", false, 0},
    NumberCase{L"daysOfWeek", L"1a", false, 0}, NumberCase{L"daysOfWeek", L" 1", false, 0}));

struct FlagCase {
    const wchar_t* key;
    uint32_t bit;
};

void PrintTo(const FlagCase& c, std::ostream* os)
{
    *os << mgmttest::printable(c.key);
}

class FlagBitParse : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagBitParse, TouchesOnlyItsOwnBit)
{
    const FlagCase& c = GetParam();
    const std::wstring key = c.key;
    KSTASKINFO_LANE record = sentinelRecord();
    record.dwMeteredAccessWise = 0;
    ASSERT_TRUE(TaskManagement::deserializeTask(L"{\"" + key + L"\":\"true\"}", record));
    EXPECT_EQ(record.dwMeteredAccessWise, c.bit);

    record.dwMeteredAccessWise = 0xFFFFFFFFu;
    ASSERT_TRUE(TaskManagement::deserializeTask(L"{\"" + key + L"\":\"false\"}", record));
    EXPECT_EQ(record.dwMeteredAccessWise, ~c.bit);

    record.dwMeteredAccessWise = 0x40;
    EXPECT_FALSE(TaskManagement::deserializeTask(L"{\"" + key + L"\":\"True\"}", record));
    EXPECT_EQ(record.dwMeteredAccessWise, 0x40u);
}

INSTANTIATE_TEST_SUITE_P(AllFlags, FlagBitParse, ::testing::Values(
    FlagCase{L"meteredAccessWise", 1}, FlagCase{L"metroModeWise", 2}, FlagCase{L"adminWise", 4},
    FlagCase{L"AMTaskExclusionWise", 8}, FlagCase{L"AMFutureTaskExclusionWise", 16},
    FlagCase{L"longOverdueTaskWise", 32}));

struct TextCase {
    const wchar_t* key;
    wchar_t* KSTASKINFO::*field;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << mgmttest::printable(c.key);
}

class TextFieldParse : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextFieldParse, CopiesTextIncludingEmptyAndEscaped)
{
    const TextCase& c = GetParam();
    const std::wstring key = c.key;
    KSTASKINFO_LANE record = sentinelRecord();
    ASSERT_TRUE(TaskManagement::deserializeTask(L"{\"" + key + L"\":\"\"}", record));
    ASSERT_NE(record.*c.field, nullptr);
    EXPECT_STREQ(record.*c.field, L"");

    ASSERT_TRUE(TaskManagement::deserializeTask(L"{\"" + key + L"\":\"C:\\\\a b\\\\\\u00e9.exe\"}", record));
    ASSERT_NE(record.*c.field, nullptr);
    EXPECT_STREQ(record.*c.field, L"C:\\a b\\\u00e9.exe");
    KsStore::freeStrings(record);
}

INSTANTIATE_TEST_SUITE_P(AllTexts, TextFieldParse, ::testing::Values(
    TextCase{L"taskTrigger", &KSTASKINFO::pwszTaskTrigger}, TextCase{L"cmdParams", &KSTASKINFO::pwszTaskParams},
    TextCase{L"completeEvent", &KSTASKINFO::pwszTaskEventName},
    TextCase{L"presetCategory", &KSTASKINFO::pwszPresetCategory}, TextCase{L"userName", &KSTASKINFO::pwszUser},
    TextCase{L"domainName", &KSTASKINFO::pwszDomain}, TextCase{L"appId", &KSTASKINFO::pwszAppid},
    TextCase{L"ruleName", &KSTASKINFO::pwszRuleName}));

class WrongKindMember : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(WrongKindMember, IsTreatedAsAbsent)
{
    KSTASKINFO_LANE record = sentinelRecord();
    const std::wstring value = GetParam();
    EXPECT_TRUE(TaskManagement::deserializeTask(L"{\"hour\":" + value + L",\"taskTrigger\":" + value +
                                                    L",\"batteryWise\":" + value + L"}",
                                                record));
    EXPECT_EQ(record.dwHour, kSentinel);
    EXPECT_EQ(record.dwBatteryWise, kSentinel);
    EXPECT_EQ(record.pwszTaskTrigger, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Kinds, WrongKindMember,
                         ::testing::Values(L"7", L"true", L"null", L"[\"7\"]", L"{\"v\":\"7\"}", L"-1.5"));

TEST(DeserializeTask, StopsAtFirstRefusedRowAfterStoringEarlierRows)
{
    KSTASKINFO_LANE record = sentinelRecord();
    // Rows 1-20 valid, row 21 ("repeat") refused, row 22 and later given but never reached.
    const std::wstring payload =
        L"{\"runWhenIdle\":\"true\",\"repeat\":\"yes\",\"taskType\":\"once\",\"triggerType\":\"event\","
        L"\"taskTrigger\":\"Evt\",\"hour\":\"4\",\"minute\":\"5\",\"priority\":\"low\",\"daysOfWeek\":\"2\","
        L"\"adminWise\":\"true\",\"presetId\":\"9\"}";
    EXPECT_FALSE(TaskManagement::deserializeTask(payload, record));
    EXPECT_EQ(record.dwTaskType, 4u);
    EXPECT_EQ(record.dwTaskTrigType, 1u);
    EXPECT_STREQ(record.pwszTaskTrigger, L"Evt");
    EXPECT_EQ(record.dwHour, 4u);
    EXPECT_EQ(record.dwMinute, 5u);
    EXPECT_EQ(record.nPriority, 1);
    EXPECT_EQ(record.dwDayOfWeekMask, 2u);
    EXPECT_EQ(record.dwMeteredAccessWise & KS_ADMIN_WISE, KS_ADMIN_WISE);
    EXPECT_EQ(record.dwRepeatTask, kSentinel);
    EXPECT_EQ(record.dwRunWhenIdle, kSentinel);
    EXPECT_EQ(record.dwPresetId, kSentinel);
    KsStore::freeStrings(record);
}

struct PayloadCase {
    const char* label;
    std::wstring text;
};

void PrintTo(const PayloadCase& c, std::ostream* os)
{
    *os << c.label;
}

class UnparsablePayload : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(UnparsablePayload, IsRefusedWithTheErrorLine)
{
    kstest::LogCapture capture;
    KSTASKINFO_LANE record = sentinelRecord();
    const std::wstring& payload = GetParam().text;
    EXPECT_FALSE(TaskManagement::deserializeTask(payload, record));
    EXPECT_EQ(record.dwTaskType, kSentinel);
    const std::wstring shown = payload.substr(0, 40);
    EXPECT_LOGGED(capture, ::ETWLogging::LOG_LEVEL_ERROR, L"deserializeTask : Could not parse json " + shown);
}

INSTANTIATE_TEST_SUITE_P(Texts, UnparsablePayload,
    ::testing::Values(PayloadCase{"NotJson", L"not json"}, PayloadCase{"ArrayRoot", L"[{\"taskType\":\"once\"}]"},
                      PayloadCase{"Unclosed", L"{\"taskType\":\"once\""}, PayloadCase{"StringRoot", L"\"taskType\""},
                      PayloadCase{"DeepBrackets", L"{\"a\":" + std::wstring(100000, L'[')}),
    [](const ::testing::TestParamInfo<PayloadCase>& info) { return std::string(info.param.label); });

} // namespace
