// The active package number read from the packages key.
#include "customization/ActivePackage.h"

#include "RegistryFixture.h"
#include "customization/CustomizationRegistry.h"

#include <gtest/gtest.h>

namespace {

using namespace Keelwork::customization;

struct PackageCase {
    const char* name;
    const wchar_t* uiPackages;  // null: value absent
    const wchar_t* packages;    // null: value absent
    uint32_t expected;
};

class ActivePackageNumber : public kstest::RegistryFixture, public ::testing::WithParamInterface<PackageCase> {};

TEST_P(ActivePackageNumber, FollowsTheValueRules)
{
    const PackageCase& c = GetParam();
    if (c.uiPackages)
        setString(kPackagesKey, kActiveUiPackagesValue, c.uiPackages);
    if (c.packages)
        setString(kPackagesKey, kActivePackagesValue, c.packages);
    EXPECT_EQ(activePackageNumber(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ActivePackageNumber,
    ::testing::Values(PackageCase{"Single", L"5", nullptr, 5},
                      PackageCase{"ListIsNoPackage", L"5;6", nullptr, 0},
                      PackageCase{"LeadingDigitsOnly", L"12abc", nullptr, 12},
                      PackageCase{"UiPackagesWins", L"7", L"8", 7},
                      PackageCase{"FallsBackToPackages", nullptr, L"8", 8},
                      PackageCase{"UiZeroFallsBack", L"0", L"9", 9},
                      PackageCase{"BothLists", L"5;6", L"1;2", 0}),
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
