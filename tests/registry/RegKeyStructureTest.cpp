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

TEST_F(RegKeyStructure, OpenOfAMissingKeyIsNotFoundAndLeavesItClosed)
{
    CRegKey other;
    EXPECT_EQ(other.open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\Nowhere", KEY_READ | KEY_WOW64_64KEY),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(other.isOpen());
    EXPECT_FALSE(keyExists(L"SOFTWARE\\Kestrel\\Nowhere"));
}

TEST_F(RegKeyStructure, CreateReportsWhetherTheKeyIsNew)
{
    CRegKey other;
    DWORD disposition = 0;
    ASSERT_EQ(other.create(HKEY_LOCAL_MACHINE, sub(L"fresh").c_str(), kAccess, REG_OPTION_NON_VOLATILE, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(other.create(HKEY_LOCAL_MACHINE, sub(L"fresh").c_str(), kAccess, REG_OPTION_NON_VOLATILE, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(other.access(), kAccess);
}

TEST_F(RegKeyStructure, MovedKeyKeepsTheHandleAndTheSourceActsClosed)
{
    HKEY raw = key.get();
    CRegKey moved(std::move(key));
    EXPECT_EQ(moved.get(), raw);
    EXPECT_EQ(moved.setDwordValue(L"n", 1), ERROR_SUCCESS);
    EXPECT_FALSE(key.isOpen());
    EXPECT_EQ(key.setDwordValue(L"n", 2), ERROR_INVALID_HANDLE);

    CRegKey assigned;
    assigned = std::move(moved);
    DWORD n = 0;
    EXPECT_EQ(assigned.getDwordValue(L"n", n), ERROR_SUCCESS);
    EXPECT_EQ(n, 1u);
}

TEST_F(RegKeyStructure, ClosedKeyRefusesEveryKeyOperation)
{
    key.close();
    std::wstring name;
    std::vector<std::wstring> names;
    std::vector<BYTE> sd;
    EXPECT_EQ(key.enumSubKey(0, name), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.enumSubKeys(names), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.deleteSubKey(L"x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.deleteValue(L"x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.flush(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.getKeySecurity(DACL_SECURITY_INFORMATION, sd), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.notifyChange(false, REG_NOTIFY_CHANGE_LAST_SET, nullptr, false), ERROR_INVALID_HANDLE);
}

TEST_F(RegKeyStructure, EnumerationListsEverySubKey)
{
    const std::vector<std::wstring> made{L"alpha", L"beta", L"gamma"};
    for (const auto& name : made) {
        CRegKey child;
        ASSERT_EQ(child.create(HKEY_LOCAL_MACHINE, sub(name.c_str()).c_str(), kAccess), ERROR_SUCCESS);
    }

    std::vector<std::wstring> names{L"stale"};
    ASSERT_EQ(key.enumSubKeys(names), ERROR_SUCCESS);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, made);

    std::vector<std::wstring> byIndex;
    std::wstring name;
    DWORD index = 0;
    LONG status;
    while ((status = key.enumSubKey(index, name)) == ERROR_SUCCESS) {
        byIndex.push_back(name);
        ++index;
    }
    EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
    std::sort(byIndex.begin(), byIndex.end());
    EXPECT_EQ(byIndex, made);
}

TEST_F(RegKeyStructure, EnumerationOfAKeyWithoutSubKeysIsEmpty)
{
    std::vector<std::wstring> names{L"stale"};
    ASSERT_EQ(key.enumSubKeys(names), ERROR_SUCCESS);
    EXPECT_TRUE(names.empty());
    std::wstring name;
    EXPECT_EQ(key.enumSubKey(0, name), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegKeyStructure, LongestKeyNameEnumeratesWhole)
{
    const std::wstring longName(255, L'k');
    CRegKey child;
    ASSERT_EQ(child.create(HKEY_LOCAL_MACHINE, sub(longName.c_str()).c_str(), kAccess), ERROR_SUCCESS);
    std::wstring name;
    ASSERT_EQ(key.enumSubKey(0, name), ERROR_SUCCESS);
    EXPECT_EQ(name, longName);
}

TEST_F(RegKeyStructure, DeleteSubKeyRemovesALeafOnly)
{
    CRegKey leaf;
    ASSERT_EQ(leaf.create(HKEY_LOCAL_MACHINE, sub(L"task\\inner").c_str(), kAccess), ERROR_SUCCESS);
    leaf.close();

    EXPECT_NE(key.deleteSubKey(L"task"), ERROR_SUCCESS);
    EXPECT_TRUE(keyExists(sub(L"task").c_str()));

    EXPECT_EQ(key.deleteSubKey(L"task\\inner"), ERROR_SUCCESS);
    EXPECT_FALSE(keyExists(sub(L"task\\inner").c_str()));
    EXPECT_EQ(key.deleteSubKey(L"task"), ERROR_SUCCESS);
    EXPECT_FALSE(keyExists(sub(L"task").c_str()));
    EXPECT_EQ(key.deleteSubKey(L"task"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegKeyStructure, DeleteSubKeyTreeRemovesEverythingBelow)
{
    CRegKey leaf;
    ASSERT_EQ(leaf.create(HKEY_LOCAL_MACHINE, sub(L"task\\a\\b").c_str(), kAccess), ERROR_SUCCESS);
    ASSERT_EQ(leaf.setDwordValue(L"v", 1), ERROR_SUCCESS);
    leaf.close();
    EXPECT_EQ(key.deleteSubKeyTree(L"task"), ERROR_SUCCESS);
    EXPECT_FALSE(keyExists(sub(L"task").c_str()));
    EXPECT_TRUE(keyExists(kPath));
}

TEST_F(RegKeyStructure, EmptySubKeyNameIsRefusedRatherThanDeletingTheKeyItself)
{
    EXPECT_EQ(key.deleteSubKey(L""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key.deleteSubKeyTree(L""), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(keyExists(kPath));
}

TEST_F(RegKeyStructure, NotificationSignalsTheEventOnAChange)
{
    Keelwork::unique_event changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ASSERT_TRUE(changed);
    ASSERT_EQ(key.notifyChange(false, REG_NOTIFY_CHANGE_LAST_SET, changed.get(), true), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(changed.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPath, L"poke", REG_DWORD, "\x01\0\0\0", 4), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(changed.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(key.flush(), ERROR_SUCCESS);
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

TEST_F(RegKeyStructure, KeySecurityWrittenIsReadBack)
{
    std::vector<BYTE> built;
    ASSERT_EQ(key.buildSecurityDescriptor(built), ERROR_SUCCESS);
    ASSERT_EQ(key.setKeySecurity(DACL_SECURITY_INFORMATION, built.data()), ERROR_SUCCESS);

    std::vector<BYTE> read;
    ASSERT_EQ(key.getKeySecurity(DACL_SECURITY_INFORMATION, read), ERROR_SUCCESS);
    ASSERT_TRUE(IsValidSecurityDescriptor(read.data()));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(read.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    EXPECT_EQ(dacl->AceCount, 2);
    EXPECT_EQ(key.setKeySecurity(DACL_SECURITY_INFORMATION, nullptr), ERROR_INVALID_PARAMETER);
}

} // namespace
