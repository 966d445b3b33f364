// Strings loaded from the real resource DLL: localized lookup, package strings, company name,
// and the per-hive DLL cache.
#include "customization/KsHALOLocale.h"
#include "customization/KsResDllCache.h"

#include "KsOemResIds.h"
#include "ExpectLogged.h"
#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "ResourceDllPaths.h"
#include "customization/CustomizationRegistry.h"

#include <gtest/gtest.h>

namespace {

using namespace Keelwork::customization;

constexpr DWORD packaged(DWORD offset, DWORD id) { return (offset << 16) | id; }

class ResourceStrings : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        kstest::registerProductDlls(kstest::resourceDllPath());
    }

    std::wstring load(CKsHALOLocale2& locale, DWORD pkg, DWORD id, DWORD* error = nullptr)
    {
        wchar_t buffer[MAX_PATH] = {};
        DWORD rc = locale.LoadPkgString(pkg, id, buffer, MAX_PATH);
        if (error)
            *error = rc;
        else
            EXPECT_EQ(rc, 0u) << "string " << id;
        return buffer;
    }
};

struct PackageCase {
    const char* name;
    DWORD pkg;
    DWORD id;
    const wchar_t* expected;
};

class PackageStrings : public ResourceStrings, public ::testing::WithParamInterface<PackageCase> {};

TEST_P(PackageStrings, PackageVariantOnlyWithPackageAndOffset)
{
    CKsHALOLocale2 locale;
    ASSERT_EQ(locale.Initialize(kstest::resourceDllPath().c_str()), 0u);
    EXPECT_EQ(load(locale, GetParam().pkg, GetParam().id), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PackageStrings,
    ::testing::Values(
        PackageCase{"PackageString", 5, packaged(KS_RES_PACKAGE_OFFSET_SCAN_DESCRIPTION, KS_RES_SCAN_DESCRIPTION),
                    L"Package scan of your Kestrel product"},
        PackageCase{"NoPackage", 0, packaged(KS_RES_PACKAGE_OFFSET_SCAN_DESCRIPTION, KS_RES_SCAN_DESCRIPTION),
                    L"Scheduled scan by Kestrel; Kestrel keeps you safe"},
        PackageCase{"PackageWithoutTable", 6, packaged(KS_RES_PACKAGE_OFFSET_SCAN_DESCRIPTION, KS_RES_SCAN_DESCRIPTION),
                    L"Scheduled scan by Kestrel; Kestrel keeps you safe"},
        PackageCase{"NoOffset", 5, KS_RES_SCAN_DESCRIPTION, L"Scheduled scan by Kestrel; Kestrel keeps you safe"},
        PackageCase{"OffsetPastPackageStrings", 5, packaged(40, KS_RES_DAY_SATURDAY), L"Saturday"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResourceStrings, LocalizedCopyIsPreferredToTheGivenFile)
{
    if (GetUserDefaultUILanguage() != 1033)
        GTEST_SKIP() << "the build places the localized copy for UI language 1033 only";
    CKsHALOLocale2 locale;
    // The given file does not exist; only the copy in <folder>\1033\ can answer.
    ASSERT_EQ(locale.Initialize((kstest::testProgramFolder() + L"\\NotInstalled.dll").c_str()), 0u);
    EXPECT_EQ(load(locale, 0, KS_RES_DAY_SATURDAY), L"Saturday");
}

TEST_F(ResourceStrings, MissingDllFailsAtFirstStringAndIsLogged)
{
    CKsHALOLocale2 locale;
    ASSERT_EQ(locale.Initialize(L"C:\\nowhere\\KsOemRes.dll"), 0u);
    kstest::LogCapture log;
    DWORD error = 0;
    EXPECT_EQ(load(locale, 0, KS_RES_DAY_SUNDAY, &error), L"");
    EXPECT_NE(error, 0u);
    EXPECT_TRUE(log.contains(L"Loadlibrary for resource dll failed. Error:" + std::to_wstring(error))) << log.text();
}

TEST_F(ResourceStrings, InitializeRejectsPathWithoutFolderAndMissingRegistration)
{
    CKsHALOLocale2 bare;
    EXPECT_EQ(bare.Initialize(L"KsOemRes.dll"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(bare.isInitialized());

    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kApplicationInfoZarnKey);
    CKsHALOLocale2 unregistered;
    EXPECT_EQ(unregistered.Initialize(kstest::resourceDllPath().c_str()), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(unregistered.isInitialized());
}

class ResDllCacheTest : public ResourceStrings {
protected:
    static KsHive hive(const wchar_t* path)
    {
        KsHive h;
        h.path = path;
        return h;
    }
    KsResDllCache m_cache;
};

TEST_F(ResDllCacheTest, StringsComeFromTheHivesDllWithTheActivePackage)
{
    m_cache.SetDll(hive(L"SOFTWARE\\Kestrel\\Platform\\Settings"), kstest::resourceDllPath());
    setString(kPackagesKey, kActiveUiPackagesValue, L"5");
    std::wstring text;
    // The hive is found by path whatever its spelling before normalisation.
    ASSERT_EQ(m_cache.LoadString(hive(L"\\SOFTWARE\\Kestrel\\Platform\\Settings\\"),
                                 packaged(KS_RES_PACKAGE_OFFSET_SCAN_DESCRIPTION, KS_RES_SCAN_DESCRIPTION), text),
              S_OK);
    EXPECT_EQ(text, L"Package scan of your Kestrel product");
}

TEST_F(ResDllCacheTest, UnusableDllOrUnknownStringFails)
{
    m_cache.SetDll(hive(L"Bare"), L"KsOemRes.dll");
    m_cache.SetDll(hive(L"Real"), kstest::resourceDllPath());
    std::wstring text;
    kstest::LogCapture log;
    EXPECT_EQ(m_cache.LoadString(hive(L"Bare"), KS_RES_DAY_SUNDAY, text), E_FAIL);
    EXPECT_TRUE(log.contains(L"Couldn't initialize halo local object w. path 'KsOemRes.dll' (3)")) << log.text();
    EXPECT_EQ(m_cache.LoadString(hive(L"Real"), 4321, text), E_FAIL);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"Couldn't load string 4321 (");
}

} // namespace
