// Schedule presets through the override hives and the real resource DLL: the preset list of a
// category, values and presets layered from several hives, descriptions with the day name and
// the user's time format, and the category's enable setting.
#include "customization/SchedulePresets.h"
#include "management/TaskManagement.h"

#include "ExpectLogged.h"
#include "KsOemResIds.h"
#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "ResourceDllPaths.h"
#include "customization/KsPartnerCustomizationCommon.h"
#include "message/JSONFormatter.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kBaseHive = L"SOFTWARE\\Kestrel\\Platform\\Settings";
constexpr const wchar_t* kPartnerHive = L"SOFTWARE\\Kestrel\\Platform\\overrides\\partner\\Settings";

struct PresetValues {
    std::optional<DWORD> active = std::nullopt;
    std::optional<DWORD> interval = std::nullopt;
    std::optional<DWORD> dayOfWeekMask = std::nullopt;
    std::optional<DWORD> hour = std::nullopt;
    std::optional<DWORD> minute = std::nullopt;
    std::optional<DWORD> descriptionResId = std::nullopt;
};

// The time of day as the user's locale writes it, asked of the system with its default picture.
std::wstring localeTime(WORD hour, WORD minute)
{
    SYSTEMTIME time = {};
    time.wYear = 2024;
    time.wMonth = 3;
    time.wDay = 4;
    time.wHour = hour;
    time.wMinute = minute;
    wchar_t text[MAX_PATH] = {};
    EXPECT_NE(GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, text, MAX_PATH), 0);
    return text;
}

// One entry of the preset list, as a client reads it.
struct ListedPreset {
    uint64_t interval = 0;
    uint64_t hours = 0;
    uint64_t minutes = 0;
    uint64_t dayOfWeekMask = 0;
    std::wstring description;
    bool operator==(const ListedPreset&) const = default;
};

// Preset list by id; fails the test when an entry lacks a member or has it in the wrong kind.
std::map<uint64_t, ListedPreset> parseList(const std::wstring& text)
{
    std::map<uint64_t, ListedPreset> listed;
    Tessel::JSONFormatter list;
    EXPECT_TRUE(list.parse(text)) << text;
    std::vector<std::shared_ptr<Tessel::JSONFormatter>> items;
    EXPECT_TRUE(list.getObjectArray(L"presets", items)) << text;
    for (const auto& item : items) {
        uint64_t id = 0;
        ListedPreset preset;
        EXPECT_TRUE(item->getUInt64(L"presetid", id)) << text;
        EXPECT_TRUE(item->getUInt64(L"interval", preset.interval)) << text;
        EXPECT_TRUE(item->getUInt64(L"hours", preset.hours)) << text;
        EXPECT_TRUE(item->getUInt64(L"minutes", preset.minutes)) << text;
        EXPECT_TRUE(item->getUInt64(L"dayofweekmask", preset.dayOfWeekMask)) << text;
        EXPECT_TRUE(item->getString(L"description", preset.description)) << text;
        EXPECT_EQ(listed.count(id), 0u) << "id " << id << " listed twice: " << text;
        listed[id] = preset;
    }
    return listed;
}

class Presets : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        kstest::registerProductDlls(kstest::resourceDllPath());
        setString(L"SOFTWARE\\Kestrel\\Platform\\Settings\\generalSettings", L"ResDll", kstest::resourceDllPath());
    }

    static void addPartnerHive(DWORD priority)
    {
        setDword(L"SOFTWARE\\Kestrel\\Platform\\overrides\\partner", L"priority", priority);
        setString(L"SOFTWARE\\Kestrel\\Platform\\overrides\\partner\\Settings\\generalSettings", L"ResDll",
                  kstest::resourceDllPath());
    }

    static std::wstring categoryKey(const wchar_t* hive, const wchar_t* category)
    {
        return std::wstring(hive) + L"\\TaskSchedulePreset\\" + category;
    }

    static void writePreset(const wchar_t* hive, const wchar_t* category, const wchar_t* id, const PresetValues& values)
    {
        const std::wstring key = categoryKey(hive, category) + L"\\" + id;
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, L"", sizeof(wchar_t)),
                  ERROR_SUCCESS);
        const std::pair<const wchar_t*, const std::optional<DWORD>&> named[] = {
            {L"Active", values.active}, {L"Interval", values.interval}, {L"DayOfWeekMask", values.dayOfWeekMask},
            {L"Hour", values.hour}, {L"Minute", values.minute}, {L"DescriptionResId", values.descriptionResId}};
        for (const auto& [name, value] : named) {
            if (value)
                setDword(key.c_str(), name, *value);
        }
    }

    static std::map<uint64_t, ListedPreset> listOf(const wchar_t* category)
    {
        Orbis::TaskManagement management;
        std::wstring text;
        EXPECT_TRUE(management.getPresets(category, text));
        return parseList(text);
    }
};

TEST_F(Presets, ListHoldsTheActivePresetsOfTheCategoryOnly)
{
    writePreset(kBaseHive, L"scan", L"1", PresetValues{1, KS_INTERVAL_WEEKLY, 0x08, 19, 5, KS_RES_PRESET_WEEKLY});
    writePreset(kBaseHive, L"scan", L"2", PresetValues{7, KS_INTERVAL_NONE, 0, 7, 30, KS_RES_PRESET_DAILY});
    writePreset(kBaseHive, L"scan", L"3", PresetValues{0, KS_INTERVAL_WEEKLY, 0x02, 8, 0, KS_RES_PRESET_WEEKLY});
    writePreset(kBaseHive, L"update", L"4", PresetValues{1, KS_INTERVAL_NONE, 0, 3, 0, KS_RES_PRESET_DAILY});

    EXPECT_EQ(listOf(L"scan"), (std::map<uint64_t, ListedPreset>{
                                   {1, {KS_INTERVAL_WEEKLY, 19, 5, 0x08, L"Every Wednesday at " + localeTime(19, 5)}},
                                   {2, {KS_INTERVAL_NONE, 7, 30, 0, L"Every day at " + localeTime(7, 30)}}}));
}

TEST_F(Presets, HivesAddPresetsAndTheHigherOneOverridesSingleValuesOrDeactivates)
{
    addPartnerHive(5);
    writePreset(kBaseHive, L"scan", L"1", PresetValues{1, KS_INTERVAL_WEEKLY, 0x02, 9, 15, KS_RES_PRESET_WEEKLY});
    writePreset(kBaseHive, L"scan", L"2", PresetValues{1, KS_INTERVAL_FIRST_IN_MONTH, 0x20, 6, 45, KS_RES_PRESET_MONTHLY});
    // The partner changes only the hour of preset 2 and brings preset 3 of its own.
    writePreset(kPartnerHive, L"scan", L"2", PresetValues{.hour = 22});
    writePreset(kPartnerHive, L"scan", L"3", PresetValues{1, KS_INTERVAL_BIWEEKLY, 0x40, 12, 0, KS_RES_PRESET_WEEKLY});
    // ... and switches off base preset 4.
    writePreset(kBaseHive, L"scan", L"4", PresetValues{1, KS_INTERVAL_WEEKLY, 0x04, 9, 15, KS_RES_PRESET_WEEKLY});
    writePreset(kPartnerHive, L"scan", L"4", PresetValues{.active = 0});

    EXPECT_EQ(listOf(L"scan"),
              (std::map<uint64_t, ListedPreset>{
                  {1, {KS_INTERVAL_WEEKLY, 9, 15, 0x02, L"Every Monday at " + localeTime(9, 15)}},
                  {2, {KS_INTERVAL_FIRST_IN_MONTH, 22, 45, 0x20, L"On the first Friday of every month at " + localeTime(22, 45)}},
                  {3, {KS_INTERVAL_BIWEEKLY, 12, 0, 0x40, L"Every Saturday at " + localeTime(12, 0)}}}));
}

struct DescriptionCase {
    const char* name;
    DWORD mask;
    DWORD resId;
    const wchar_t* before;  // text before the time
    const wchar_t* after;   // text after the time
};

class PresetDescriptions : public Presets, public ::testing::WithParamInterface<DescriptionCase> {};

TEST_P(PresetDescriptions, DayIsTheLowestWeekDayAndTimeFollowsTheLocale)
{
    const DescriptionCase& c = GetParam();
    writePreset(kBaseHive, L"scan", L"7", PresetValues{1, KS_INTERVAL_WEEKLY, c.mask, 16, 5, c.resId});
    auto listed = listOf(L"scan");
    ASSERT_EQ(listed.count(7), 1u);
    EXPECT_EQ(listed[7].description, std::wstring(c.before) + localeTime(16, 5) + c.after);
}

INSTANTIATE_TEST_SUITE_P(Cases, PresetDescriptions,
    ::testing::Values(
        DescriptionCase{"LowestOfSeveralDays", 0x44, KS_RES_PRESET_WEEKLY, L"Every Tuesday at ", L""},
        DescriptionCase{"CompanyNameToo", 0x02, KS_RES_PRESET_WEEKLY_SCAN, L"Scan every Monday at ", L" by Kestrel"},
        DescriptionCase{"NoPlaceholderForDay", 0x40, KS_RES_PRESET_DAILY, L"Every day at ", L""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Presets, PresetsWithoutUsableValuesOrDescriptionAreLeftOut)
{
    writePreset(kBaseHive, L"scan", L"1", PresetValues{1, KS_INTERVAL_WEEKLY, 0x02, 9, 15, KS_RES_PRESET_WEEKLY});
    writePreset(kBaseHive, L"scan", L"2", PresetValues{1, KS_INTERVAL_WEEKLY, 0x02, 9, 15, std::nullopt});
    writePreset(kBaseHive, L"scan", L"3", PresetValues{1, KS_INTERVAL_WEEKLY, 0x02, 9, 15, 4321});
    writePreset(kBaseHive, L"scan", L"4", PresetValues{1, KS_INTERVAL_WEEKLY, 0x02, std::nullopt, 15, KS_RES_PRESET_WEEKLY});
    // A calendar value of the wrong registry type counts as unreadable.
    writePreset(kBaseHive, L"scan", L"5", PresetValues{1, KS_INTERVAL_WEEKLY, 0x02, 9, 15, KS_RES_PRESET_WEEKLY});
    setString((categoryKey(kBaseHive, L"scan") + L"\\5").c_str(), L"Minute", L"15");

    kstest::LogCapture log;
    auto listed = listOf(L"scan");
    EXPECT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed.count(1), 1u);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR, L"Couldn't get value 'DescriptionResId' (-2147467259)");
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"Couldn't load string 4321 (-2147467259)");
}

} // namespace
