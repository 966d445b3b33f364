// Normal form and joining of relative registry paths.
#include "customization/KsRegistryPath.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const wchar_t* input;
    const wchar_t* normal;
};

class KsRegistryPathNormalForm : public ::testing::TestWithParam<PathCase> {};

TEST_P(KsRegistryPathNormalForm, SetNormalizes)
{
    KsRegistryPath path(GetParam().input);
    EXPECT_EQ(path.str(), GetParam().normal);
}

INSTANTIATE_TEST_SUITE_P(Cases, KsRegistryPathNormalForm,
    ::testing::Values(PathCase{L"", L""},
                      PathCase{L"\\\\\\", L""},
                      PathCase{L"a", L"a\\"},
                      PathCase{L"\\\\SOFTWARE\\Kestrel", L"SOFTWARE\\Kestrel\\"},
                      PathCase{L"a\\\\b\\\\\\c", L"a\\b\\c\\"}));

TEST(KsRegistryPath, JoinAppendsNormalizedParts)
{
    KsRegistryPath base(L"SOFTWARE\\Kestrel\\Platform\\Settings");
    EXPECT_EQ(base.Joined(L"\\taskscheduler").str(), L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler\\");
    EXPECT_EQ(KsRegistryPath().Joined(L"x").str(), L"x\\");
    EXPECT_EQ(base.Joined(KsRegistryPath()).str(), base.str());
}

} // namespace
