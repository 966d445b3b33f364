// KsModuleNameFromCLSID against classes registered in the scratch registry.
#include "SampleTaskReport.h"

#include "ExpectLogged.h"
#include "RegistryFixture.h"
#include "execution/ModuleFromClsid.h"

#include <gtest/gtest.h>

namespace {

using ETWLogging::LOG_LEVEL_ERROR;

constexpr wchar_t kClsid[] = L"{6B1E1C6A-0F3D-4E52-9A57-2D3C5E7B8A91}";
const std::wstring kClassKey = std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + kClsid;

std::wstring fileNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

class ModuleNameFromClsid : public kstest::RegistryFixture {
protected:
    std::wstring moduleName, longModuleName;
};

TEST_F(ModuleNameFromClsid, InprocServerGivesItsFileName)
{
    setString((kClassKey + L"\\InprocServer32").c_str(), L"", kstest::programPath());
    kstest::LogCapture log;
    ASSERT_EQ(KsModuleNameFromCLSID(kClsid, moduleName, longModuleName), 0u);
    EXPECT_EQ(moduleName, fileNameOf(kstest::programPath()));
    EXPECT_EQ(longModuleName, fileNameOf(kstest::programPath()));
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"KsModuleNameFromCLSID(): The long path name is " + kstest::programPath());
}

TEST_F(ModuleNameFromClsid, LocalServerCommandLineWhenNoInprocServerGivesShortAndLongNames)
{
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_NE(::GetShortPathNameW(kstest::programPath().c_str(), shortPath, MAX_PATH), 0u);
    // An InprocServer32 key without a path does not count.
    setString((kClassKey + L"\\InprocServer32").c_str(), L"ThreadingModel", L"Both");
    setString((kClassKey + L"\\LocalServer32").c_str(), L"", L"\"" + std::wstring(shortPath) + L"\" -Embedding");
    ASSERT_EQ(KsModuleNameFromCLSID(kClsid, moduleName, longModuleName), 0u);
    EXPECT_EQ(moduleName, fileNameOf(shortPath));
    EXPECT_EQ(longModuleName, fileNameOf(kstest::programPath()));
}

TEST_F(ModuleNameFromClsid, MissingClassOrProgramIsAnErrorLogged)
{
    kstest::LogCapture log;
    EXPECT_EQ(KsModuleNameFromCLSID(kClsid, moduleName, longModuleName), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_LOGGED(log, LOG_LEVEL_ERROR, L"KsModuleNameFromCLSID failed, result of KsModulePathFromCLSID: 2");
    EXPECT_EQ(KsModuleNameFromCLSID(nullptr, moduleName, longModuleName), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_LOGGED(log, LOG_LEVEL_ERROR, L"KsModuleNameFromCLSID failed, result of KsModulePathFromCLSID: 87");

    setString((kClassKey + L"\\LocalServer32").c_str(), L"", kstest::testProgramFolder() + L"\\ks-missing.exe /s");
    EXPECT_EQ(KsModuleNameFromCLSID(kClsid, moduleName, longModuleName), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_LOGGED(log, LOG_LEVEL_ERROR, L"KsModuleNameFromCLSID failed, GetLastError() after GetLongPathName is (2)");
}

} // namespace
