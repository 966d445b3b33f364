// Lookups across prioritised hives: which hive answers, sub-key union and order, error results;
// and the normal form and joining of the hives' relative paths.
#include "common/UniqueHandle.h"
#include "customization/KsRegistryOverride.h"
#include "customization/KsRegistryPath.h"

#include "ExpectLogged.h"
#include "LogFileReader.h"
#include "RegistryFixture.h"

#include <gtest/gtest.h>

namespace {

constexpr const wchar_t* kLow = L"Hives\\Low";
constexpr const wchar_t* kHigh = L"Hives\\High";
constexpr const wchar_t* kOther = L"Hives\\Other";

class KsRegistryOverrideTest : public kstest::RegistryFixture {
protected:
    static std::wstring key(const wchar_t* hive, const wchar_t* sub) { return std::wstring(hive) + L"\\" + sub; }

    static void createKey(const std::wstring& path)
    {
        Keelwork::unique_hkey created;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  created.put(), nullptr),
                  ERROR_SUCCESS);
    }

    HRESULT readDword(const wchar_t* name, DWORD& value)
    {
        DWORD type = REG_NONE;
        DWORD size = sizeof value;
        HRESULT hr = m_override.ReadValue(name, &type, &value, &size);
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        }
        return hr;
    }

    std::wstring activeHivePath() const
    {
        const KsHive* hive = m_override.GetActiveHive();
        return hive ? hive->path.str() : L"<none>";
    }

    KsRegistryOverride m_override;
};

TEST_F(KsRegistryOverrideTest, EqualPrioritiesKeepAddOrderSoTheLaterHiveIsAskedFirst)
{
    setDword(key(kLow, L"k").c_str(), L"v", 1);
    setDword(key(kOther, L"k").c_str(), L"v", 2);
    setDword(key(kHigh, L"k").c_str(), L"v", 3);
    m_override.AddHive(kLow, 3);
    m_override.AddHive(kOther, 3);
    m_override.AddHive(kHigh, 3);
    ASSERT_EQ(m_override.OpenKey(L"k"), S_OK);

    DWORD value = 0;
    ASSERT_EQ(readDword(L"v", value), S_OK);
    EXPECT_EQ(value, 3u);
}

TEST_F(KsRegistryOverrideTest, ValueMissingInEveryHiveFailsAndIsLogged)
{
    setDword(key(kLow, L"k").c_str(), L"other", 1);
    m_override.AddHive(kLow, 0);
    ASSERT_EQ(m_override.OpenKey(L"k"), S_OK);

    kstest::LogCapture log;
    DWORD value = 42;
    EXPECT_EQ(readDword(L"absent", value), E_FAIL);
    EXPECT_EQ(value, 42u);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"Failed to read value 'absent' from hive (2)");
}

TEST_F(KsRegistryOverrideTest, EnumerationIsTheOrdinalUnionOfAllHives)
{
    for (const wchar_t* name : {L"2", L"10", L"1"})
        createKey(key(kLow, L"TaskSchedulePreset\\scan\\") + name);
    for (const wchar_t* name : {L"3", L"2", L"B", L"a"})
        createKey(key(kHigh, L"TaskSchedulePreset\\scan\\") + name);
    m_override.AddHive(kLow, 0);
    m_override.AddHive(kHigh, 4);
    ASSERT_EQ(m_override.OpenKey(L"TaskSchedulePreset\\scan"), S_OK);

    std::vector<std::wstring> names{L"stale"};
    ASSERT_EQ(m_override.EnumerateSubkeys(names), S_OK);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"1", L"10", L"2", L"3", L"B", L"a"}));
}

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
