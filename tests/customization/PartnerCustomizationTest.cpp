// The hive list built from the registry: base, package (and the active package number it comes
// from), plug-ins and partner overrides, and the resource DLL each hive's strings come from.
#include "customization/ActivePackage.h"
#include "customization/KsPartnerCustomizationCommon.h"

#include "KsOemResIds.h"
#include "ExpectLogged.h"
#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "ResourceDllPaths.h"
#include "customization/CustomizationRegistry.h"

#include <gtest/gtest.h>

namespace {

using namespace Keelwork::customization;

constexpr const wchar_t* kPlatform = L"SOFTWARE\\Kestrel\\Platform\\";
constexpr const wchar_t* kValueKey = L"taskscheduler";

class PartnerCustomizationTest : public kstest::RegistryFixture {
protected:
    static std::wstring baseKey(const wchar_t* sub) { return std::wstring(kBaseSettingsKey) + L"\\" + sub; }
    static std::wstring listedKey(const wchar_t* list, const wchar_t* name) { return std::wstring(kPlatform) + list + L"\\" + name; }
    static std::wstring listedHive(const wchar_t* list, const wchar_t* name) { return listedKey(list, name) + L"\\Settings\\"; }

    // A plug-in or partner entry whose hive holds `value` as "v" under the value key.
    static void addListed(const wchar_t* list, const wchar_t* name, const DWORD* priority, DWORD value)
    {
        if (priority)
            setDword(listedKey(list, name).c_str(), kPriorityValue, *priority);
        setDword((listedHive(list, name) + kValueKey).c_str(), L"v", value);
    }

    DWORD readV(HRESULT* result = nullptr)
    {
        DWORD value = 0, type = 0, size = sizeof value;
        KsRegistryOverride& lookup = m_customization.GetRegistryOverride();
        HRESULT hr = lookup.OpenKey(kValueKey);
        if (SUCCEEDED(hr))
            hr = lookup.ReadValue(L"v", &type, &value, &size);
        if (result)
            *result = hr;
        else
            EXPECT_EQ(hr, S_OK);
        return value;
    }

    std::wstring activeHive()
    {
        const KsHive* hive = m_customization.GetRegistryOverride().GetActiveHive();
        return hive ? hive->path.str() : L"<none>";
    }

    KsZARNPartnerCustomization m_customization;
};

// Plug-ins and partner overrides share their layout; both lists must follow the same rules.
class ListedHives : public PartnerCustomizationTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(ListedHives, EntryWithPriorityOverridesTheBase)
{
    setDword(baseKey(kValueKey).c_str(), L"v", 10);
    setDword(baseKey(kValueKey).c_str(), L"baseOnly", 1);
    const DWORD five = 5;
    addListed(GetParam(), L"partner", &five, 50);
    ASSERT_EQ(m_customization.Initialize(), S_OK);

    EXPECT_EQ(readV(), 50u);
    EXPECT_EQ(activeHive(), listedHive(GetParam(), L"partner"));
    DWORD value = 0, type = 0, size = sizeof value;
    EXPECT_EQ(m_customization.GetRegistryOverride().ReadValue(L"baseOnly", &type, &value, &size), S_OK);
    EXPECT_EQ(activeHive(), L"SOFTWARE\\Kestrel\\Platform\\Settings\\");
}

TEST_P(ListedHives, EntryWithoutPriorityIsSkippedAndTheOthersKept)
{
    setDword(baseKey(kValueKey).c_str(), L"v", 10);
    const DWORD two = 2;
    addListed(GetParam(), L"a-unprioritised", nullptr, 99);
    addListed(GetParam(), L"b-prioritised", &two, 20);
    kstest::LogCapture log;
    ASSERT_EQ(m_customization.Initialize(), S_OK);

    EXPECT_EQ(readV(), 20u);
    if (std::wstring(GetParam()) == L"plugins")
        EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR, L"Couldn't get value 'priority' (2) - skipping");
    else
        EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"Couldn't query value 'priority' (2)");
}

INSTANTIATE_TEST_SUITE_P(Lists, ListedHives, ::testing::Values(L"plugins", L"overrides"),
                         [](const auto& info) { return std::string(info.param[0] == L'p' ? "Plugins" : "Overrides"); });

TEST_F(PartnerCustomizationTest, OverridesAndPluginsShareOnePriorityOrder)
{
    const DWORD four = 4, six = 6;
    addListed(L"plugins", L"p", &six, 60);
    addListed(L"overrides", L"o", &four, 40);
    ASSERT_EQ(m_customization.Initialize(), S_OK);
    EXPECT_EQ(readV(), 60u);
}

struct PackageCase {
    const char* name;
    const wchar_t* activePackage;
    DWORD expected;
};

class PackageHive : public PartnerCustomizationTest, public ::testing::WithParamInterface<PackageCase> {};

TEST_P(PackageHive, ActivePackageKeyOverridesTheBaseOnly)
{
    setDword(baseKey(kValueKey).c_str(), L"v", 10);
    setDword((std::wstring(kBaseSettingsKey) + L"5\\" + kValueKey).c_str(), L"v", 15);
    if (GetParam().activePackage)
        setString(kPackagesKey, kActivePackagesValue, GetParam().activePackage);
    ASSERT_EQ(m_customization.Initialize(), S_OK);
    EXPECT_EQ(readV(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PackageHive,
    ::testing::Values(PackageCase{"Package5", L"5", 15}, PackageCase{"PackageList", L"5;6", 10},
                      PackageCase{"NoPackage", nullptr, 10}, PackageCase{"PackageWithoutKey", L"6", 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PartnerCustomizationTest, PackageHiveRanksBelowPrioritisedOverrides)
{
    setString(kPackagesKey, kActivePackagesValue, L"5");
    setDword((std::wstring(kBaseSettingsKey) + L"5\\" + kValueKey).c_str(), L"v", 15);
    const DWORD two = 2;
    addListed(L"overrides", L"o", &two, 40);
    ASSERT_EQ(m_customization.Initialize(), S_OK);
    EXPECT_EQ(readV(), 40u);
}

TEST_F(PartnerCustomizationTest, SecondInitializeForgetsRemovedEntries)
{
    const DWORD two = 2;
    setDword(baseKey(kValueKey).c_str(), L"v", 10);
    addListed(L"overrides", L"o", &two, 40);
    ASSERT_EQ(m_customization.Initialize(), S_OK);
    ASSERT_EQ(readV(), 40u);
    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\Platform\\overrides"), ERROR_SUCCESS);
    ASSERT_EQ(m_customization.Initialize(), S_OK);
    EXPECT_EQ(readV(), 10u);
}

class HiveResourceDll : public PartnerCustomizationTest {
protected:
    void SetUp() override
    {
        PartnerCustomizationTest::SetUp();
        kstest::registerProductDlls(kstest::resourceDllPath());
    }

    std::wstring activeHiveString(DWORD id)
    {
        const KsHive* hive = m_customization.GetRegistryOverride().GetActiveHive();
        EXPECT_NE(hive, nullptr);
        std::wstring text = L"<unset>";
        if (hive) {
            EXPECT_EQ(m_customization.GetResDllCache().LoadString(*hive, id, text), S_OK);
        }
        return text;
    }
};

TEST_F(HiveResourceDll, OverrideWithoutDllUsesTheDefaultDll)
{
    setString(baseKey(kGeneralSettingsKey).c_str(), kResDllValue, kstest::resourceDllPath());
    const DWORD two = 2;
    addListed(L"overrides", L"o", &two, 40);
    kstest::LogCapture log;
    ASSERT_EQ(m_customization.Initialize(), S_OK);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_WARNING,
                  L"Couldn't get DLL for hive '" + listedHive(L"overrides", L"o") + L"' using default '" +
                      kstest::resourceDllPath() + L"'");

    ASSERT_EQ(readV(), 40u);
    EXPECT_EQ(activeHiveString(KS_RES_SCAN_DESCRIPTION), L"Scheduled scan by Kestrel; Kestrel keeps you safe");
}

struct ActivePackageCase {
    const char* name;
    const wchar_t* uiPackages;  // null: value absent
    const wchar_t* packages;    // null: value absent
    uint32_t expected;
};

class ActivePackageNumber : public kstest::RegistryFixture, public ::testing::WithParamInterface<ActivePackageCase> {};

TEST_P(ActivePackageNumber, FollowsTheValueRules)
{
    const ActivePackageCase& c = GetParam();
    if (c.uiPackages)
        setString(kPackagesKey, kActiveUiPackagesValue, c.uiPackages);
    if (c.packages)
        setString(kPackagesKey, kActivePackagesValue, c.packages);
    EXPECT_EQ(activePackageNumber(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ActivePackageNumber,
    ::testing::Values(ActivePackageCase{"Single", L"5", nullptr, 5},
                      ActivePackageCase{"ListIsNoPackage", L"5;6", nullptr, 0},
                      ActivePackageCase{"LeadingDigitsOnly", L"12abc", nullptr, 12},
                      ActivePackageCase{"UiPackagesWins", L"7", L"8", 7},
                      ActivePackageCase{"FallsBackToPackages", nullptr, L"8", 8},
                      ActivePackageCase{"UiZeroFallsBack", L"0", L"9", 9},
                      ActivePackageCase{"BothLists", L"5;6", L"1;2", 0}),
    [](const auto& info) { return std::string(info.param.name); });

class ActivePackageValueType : public kstest::RegistryFixture {};

// Only text counts, expanded or not, and only when it is terminated.
TEST_F(ActivePackageValueType, OnlyTerminatedTextIsRead)
{
    setDword(kPackagesKey, kActiveUiPackagesValue, 5);
    EXPECT_EQ(readActivePackageNumber(kActiveUiPackagesValue), 0u);
    const wchar_t expandable[] = L"6";
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPackagesKey, kActivePackagesValue, REG_EXPAND_SZ, expandable,
                              sizeof expandable), ERROR_SUCCESS);
    EXPECT_EQ(readActivePackageNumber(kActivePackagesValue), 6u);
    const wchar_t unterminated[] = {L'5', L'5'};
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPackagesKey, kActivePackagesValue, REG_SZ, unterminated,
                              sizeof unterminated), ERROR_SUCCESS);
    EXPECT_EQ(readActivePackageNumber(kActivePackagesValue), 0u);
}

} // namespace
