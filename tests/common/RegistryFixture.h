// Per-test registry isolation: HKEY_LOCAL_MACHINE is redirected to a fresh scratch key for the
// duration of one test, so code under test opens its usual paths and touches nothing real.
#pragma once

#include "common/UniqueHandle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kstest {

// Where the scratch keys live (under HKEY_CURRENT_USER, which stays un-overridden).
inline constexpr const wchar_t* kScratchRoot = L"Software\\KsTestScratch";

class RegistryFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes plain values under HKEY_LOCAL_MACHINE (i.e. the scratch key) for test set-up.
    static void setDword(const wchar_t* path, const wchar_t* name, DWORD value);
    static void setString(const wchar_t* path, const wchar_t* name, const std::wstring& value);
    static bool keyExists(const wchar_t* path);

private:
    Keelwork::unique_hkey m_scratch;
    std::wstring m_scratchPath;
};

// A value as the registry holds it, read and written around the code under test.
struct RawValue {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};
RawValue readRaw(const std::wstring& keyPath, const wchar_t* name);
// The REG_DWORD at HKEY_LOCAL_MACHINE\path\name, or nothing when absent or of another type.
inline std::optional<DWORD> readDword(const wchar_t* path, const wchar_t* name)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}
void writeRaw(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, size_t size);

// Removes scratch keys a crashed run left behind and makes the process log to files, so tests
// can read the lines the code under test writes.
class TestEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
};

} // namespace kstest
