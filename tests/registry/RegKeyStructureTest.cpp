// CRegKey key-level behaviour: opening, moving, sub-key enumeration and deletion, change
// notification and key security.
#include "RegistryFixture.h"
#include "common/UniqueHandle.h"
#include "registry/RegKey.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

using Keelwork::CRegKey;

namespace {

constexpr const wchar_t* kPath = L"SOFTWARE\\Kestrel\\RegKeyTest";
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;

class RegKeyStructure : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
    }

    static std::wstring sub(const wchar_t* name) { return std::wstring(kPath) + L"\\" + name; }

    CRegKey key;
};

TEST_F(RegKeyStructure, EmptySubKeyNameIsRefusedRatherThanDeletingTheKeyItself)
{
    EXPECT_EQ(key.deleteSubKey(L""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key.deleteSubKeyTree(L""), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(keyExists(kPath));
}

TEST_F(RegKeyStructure, BuiltDescriptorGrantsFullControlToSystemAndAdministratorsOnly)
{
    std::vector<BYTE> sd;
    ASSERT_EQ(key.buildSecurityDescriptor(sd), ERROR_SUCCESS);
    ASSERT_TRUE(IsValidSecurityDescriptor(sd.data()));

    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(dacl, nullptr);
    ASSERT_EQ(dacl->AceCount, 2);

    std::vector<std::wstring> trustees;
    for (WORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace->Mask, static_cast<ACCESS_MASK>(KEY_ALL_ACCESS));
        EXPECT_TRUE(ace->Header.AceFlags & CONTAINER_INHERIT_ACE);
        wchar_t* sidText = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidW(&ace->SidStart, &sidText));
        const Keelwork::unique_hlocal owner(sidText);
        trustees.emplace_back(sidText);
    }
    std::sort(trustees.begin(), trustees.end());
    EXPECT_EQ(trustees, (std::vector<std::wstring>{L"S-1-5-18", L"S-1-5-32-544"}));
}

} // namespace
