// CRegKey: strings as the registry may hold them (bounded by their stored size, always
// terminated), sub-key deletion and the security descriptor it builds for keys.
#include "RegistryFixture.h"
#include "common/UniqueHandle.h"
#include "registry/KeyValueSnapshot.h"
#include "registry/RegKey.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <vector>

using Keelwork::CRegKey;

namespace {

constexpr const wchar_t* kPath = L"SOFTWARE\\Kestrel\\RegKeyTest";
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;

class RegKeyTest : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
    }
    CRegKey key;
};

TEST_F(RegKeyTest, UnterminatedStringReadsBackBoundedAndTerminated)
{
    const wchar_t text[] = {L'a', L'b', L'c'};
    kstest::writeRaw(kPath, L"s", REG_SZ, text, sizeof text);

    std::wstring value;
    ASSERT_EQ(key.getStringValue(L"s", value), ERROR_SUCCESS);
    EXPECT_EQ(value, L"abc");

    wchar_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), L'X');
    DWORD chars = 8;
    ASSERT_EQ(key.getStringBuffer(L"s", buffer, &chars), ERROR_SUCCESS);
    EXPECT_EQ(chars, 3u);
    EXPECT_EQ(std::wstring(buffer), L"abc");
}

TEST_F(RegKeyTest, StringStopsAtItsFirstNul)
{
    const wchar_t text[] = {L'a', L'b', 0, L'z', L'z'};
    kstest::writeRaw(kPath, L"s", REG_SZ, text, sizeof text);
    std::wstring value;
    ASSERT_EQ(key.getStringValue(L"s", value), ERROR_SUCCESS);
    EXPECT_EQ(value, L"ab");
}

TEST_F(RegKeyTest, BufferTooSmallAsksForTheSizeWithTerminator)
{
    ASSERT_EQ(key.setStringValue(L"s", L"abcdef"), ERROR_SUCCESS);
    wchar_t buffer[6];
    DWORD chars = 6;
    EXPECT_EQ(key.getStringBuffer(L"s", buffer, &chars), ERROR_MORE_DATA);
    EXPECT_EQ(chars, 7u);
    chars = 7;
    wchar_t exact[7];
    ASSERT_EQ(key.getStringBuffer(L"s", exact, &chars), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(exact), L"abcdef");
}

TEST_F(RegKeyTest, UnterminatedStringListKeepsItsLastItem)
{
    const wchar_t list[] = {L'o', L'n', L'e', 0, L't', L'w', L'o'};
    kstest::writeRaw(kPath, L"m", REG_MULTI_SZ, list, sizeof list);
    std::vector<std::wstring> items;
    ASSERT_EQ(key.getMultiStringValue(L"m", items), ERROR_SUCCESS);
    EXPECT_EQ(items, (std::vector<std::wstring>{L"one", L"two"}));
}

TEST_F(RegKeyTest, StringListWithAnEmptyItemIsRefused)
{
    EXPECT_EQ(key.setMultiStringValue(L"m", {L"a", L"", L"b"}), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(kstest::readRaw(kPath, L"m").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegKeyTest, EmptySubKeyNameIsRefusedRatherThanDeletingTheKeyItself)
{
    EXPECT_EQ(key.deleteSubKey(L""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key.deleteSubKeyTree(L""), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(keyExists(kPath));
}

TEST_F(RegKeyTest, BuiltDescriptorGrantsFullControlToSystemAndAdministratorsOnly)
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

// A snapshot answers every query exactly as the key does: found, missing, another case, a
// buffer too small or absent.
TEST_F(RegKeyTest, ValueSnapshotAnswersAsTheKeyDoes)
{
    const BYTE blob[] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(key.setValue(L"Blob", REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ASSERT_EQ(key.setDwordValue(L"Number", 7), ERROR_SUCCESS);
    ASSERT_EQ(key.setValue(L"Empty", REG_SZ, nullptr, 0), ERROR_SUCCESS);
    const Keelwork::KeyValueSnapshot snapshot(key);
    struct Query {
        const wchar_t* name;
        DWORD room;
        bool withData;
    };
    for (const Query& q : {Query{L"Blob", 16, true}, Query{L"bLOB", 16, true}, Query{L"Blob", 3, true},
                           Query{L"Blob", 0, false}, Query{L"Number", 4, true}, Query{L"Empty", 8, true},
                           Query{L"Missing", 8, true}}) {
        BYTE fromKey[16] = {}, fromSnapshot[16] = {};
        DWORD keyType = 99, snapType = 99, keySize = q.room, snapSize = q.room;
        const LONG keyRc = key.queryValue(q.name, &keyType, q.withData ? fromKey : nullptr, &keySize);
        const LONG snapRc = snapshot.queryValue(q.name, &snapType, q.withData ? fromSnapshot : nullptr, &snapSize);
        SCOPED_TRACE(::testing::Message() << "room " << q.room << (q.withData ? " with data" : " size only"));
        EXPECT_EQ(snapRc, keyRc);
        if (keyRc == ERROR_SUCCESS || keyRc == ERROR_MORE_DATA) {
            EXPECT_EQ(snapType, keyType);
            EXPECT_EQ(snapSize, keySize);
        }
        if (keyRc == ERROR_SUCCESS) {
            EXPECT_EQ(0, std::memcmp(fromKey, fromSnapshot, sizeof fromKey));
        }
    }
}
