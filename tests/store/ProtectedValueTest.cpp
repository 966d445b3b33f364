// Protected registry values: round trips, and every kind of foreign or damaged value refused.
#include "RegistryFixture.h"
#include "StoreTestSupport.h"

#include "registry/RegKey.h"
#include "store/ProtectedValue.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

using namespace storetest;

const std::wstring kKeyPath = L"SOFTWARE\\Kestrel\\StoreTest";
constexpr size_t kChars = 1040;

class ProtectedValue : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_EQ(m_key.create(HKEY_LOCAL_MACHINE, kKeyPath.c_str(), KEY_READ | KEY_WRITE | KEY_WOW64_64KEY),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        m_key.close();
        RegistryFixture::TearDown();
    }

    uint32_t readString(const wchar_t* name, std::wstring& text)
    {
        wchar_t buffer[kChars];
        std::wmemset(buffer, L'#', kChars);
        uint32_t rc = KsStore::readProtectedString(m_key, name, buffer, kChars);
        if (rc == 0)
            text = buffer; // stops at the terminator the helper must have written
        return rc;
    }

    // The text read back; fails the test when the read does.
    std::wstring readBack(const wchar_t* name)
    {
        std::wstring text = L"<unread>";
        EXPECT_EQ(readString(name, text), 0u);
        return text;
    }

    // Both reads refuse the value and leave what the caller holds untouched.
    void expectRefused(const wchar_t* name, bool asNumber = true, bool asText = true, uint32_t error = ERROR_INVALID_DATA)
    {
        uint32_t value = 7;
        std::wstring text = L"kept";
        if (asNumber) {
            EXPECT_EQ(KsStore::readProtectedDword(m_key, name, value), error) << "as number";
        }
        if (asText) {
            EXPECT_EQ(readString(name, text), error) << "as text";
        }
        EXPECT_EQ(value, 7u);
        EXPECT_EQ(text, L"kept");
    }

    // A stored number or "scan.exe", returned as raw bytes for damaging.
    std::vector<BYTE> storeSample(bool text)
    {
        EXPECT_EQ(text ? KsStore::writeProtectedString(m_key, L"V", L"scan.exe")
                       : KsStore::writeProtectedDword(m_key, L"V", 0x12345678u),
                  0u);
        return readRaw(kKeyPath, L"V").bytes;
    }

    Keelwork::CRegKey m_key;
};

// --- Round trips -------------------------------------------------------------------------------

class ProtectedDwordRoundTrip : public ProtectedValue, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(ProtectedDwordRoundTrip, ReadsBackWhatWasWritten)
{
    ASSERT_EQ(KsStore::writeProtectedDword(m_key, L"Number", GetParam()), 0u);
    uint32_t value = ~GetParam();
    ASSERT_EQ(KsStore::readProtectedDword(m_key, L"Number", value), 0u);
    EXPECT_EQ(value, GetParam());
    EXPECT_EQ(readRaw(kKeyPath, L"Number").type, static_cast<DWORD>(REG_BINARY));
}

INSTANTIATE_TEST_SUITE_P(Edges, ProtectedDwordRoundTrip,
                         ::testing::Values(0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 1700000000u));

class ProtectedStringRoundTrip : public ProtectedValue, public ::testing::WithParamInterface<std::wstring> {};

TEST_P(ProtectedStringRoundTrip, ReadsBackWhatWasWritten)
{
    ASSERT_EQ(KsStore::writeProtectedString(m_key, L"Text", GetParam().c_str()), 0u);
    EXPECT_EQ(readBack(L"Text"), GetParam());
    EXPECT_EQ(readRaw(kKeyPath, L"Text").type, static_cast<DWORD>(REG_BINARY));
}

// Non-ASCII texts are ones every Western ANSI code page (the test prefix's) holds.
INSTANTIATE_TEST_SUITE_P(Texts, ProtectedStringRoundTrip,
                         ::testing::Values(std::wstring(), std::wstring(L"scan.exe"),
                                           std::wstring(L"C:\\Program Files\\Kestrel\\scan.exe /q"),
                                           std::wstring(L"Caf\u00e9 \u00dcbersicht \u00a9 \u00e6\u00f8\u00e5"),
                                           std::wstring(1039, L'x')));

TEST_F(ProtectedValue, StringIsStoredInTheAnsiCodePage)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "expects the Western code page";
    // U+0416 has no place in code page 1252: it is lost as '?', the way the registry's ANSI
    // interface would lose it.
    ASSERT_EQ(KsStore::writeProtectedString(m_key, L"Text", L"a\u0416\u00e9"), 0u);
    EXPECT_EQ(readBack(L"Text"), L"a?\u00e9");
}

TEST_F(ProtectedValue, TextLongerThanAProtectedValueIsNotWritten)
{
    std::wstring tooLong(KsStore::kMaxProtectedDataBytes, L'z');
    EXPECT_EQ(KsStore::writeProtectedString(m_key, L"Text", tooLong.c_str()), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(readRaw(kKeyPath, L"Text").status, ERROR_FILE_NOT_FOUND);
}

// --- Refusals ----------------------------------------------------------------------------------

struct PlainCase {
    const char* label;
    DWORD type;
    std::vector<BYTE> bytes;
};

class PlainValueRejected : public ProtectedValue, public ::testing::WithParamInterface<PlainCase> {};

TEST_P(PlainValueRejected, AsNumberAndAsText)
{
    writeRaw(kKeyPath, L"Plain", GetParam().type, GetParam().bytes.data(), GetParam().bytes.size());
    expectRefused(L"Plain");
}

std::vector<BYTE> wideBytes(const wchar_t* text)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(text);
    return std::vector<BYTE>(p, p + (std::wcslen(text) + 1) * sizeof(wchar_t));
}

INSTANTIATE_TEST_SUITE_P(
    Types, PlainValueRejected,
    ::testing::Values(PlainCase{"dword", REG_DWORD, {5, 0, 0, 0}}, PlainCase{"sz", REG_SZ, wideBytes(L"plain.exe")},
                      PlainCase{"none", REG_NONE, {1, 2, 3}}),
    [](const auto& info) { return std::string(info.param.label); });

// One byte flipped anywhere in a stored value, number or text.
struct FlipCase {
    bool text;
    size_t position;
};

class FlippedByteRejected : public ProtectedValue, public ::testing::WithParamInterface<FlipCase> {};

TEST_P(FlippedByteRejected, AtEveryPosition)
{
    const FlipCase& c = GetParam();
    const std::vector<BYTE> stored = storeSample(c.text);
    ASSERT_LT(c.position, stored.size());
    for (BYTE mask : {0x01, 0x80, 0xFF}) {
        std::vector<BYTE> damaged = stored;
        damaged[c.position] ^= mask;
        writeRaw(kKeyPath, L"V", REG_BINARY, damaged.data(), damaged.size());
        SCOPED_TRACE(int(mask));
        expectRefused(L"V", !c.text, c.text);
    }
}

std::vector<FlipCase> flipCases()
{
    std::vector<FlipCase> cases;
    // A number: 4 data bytes; "scan.exe": 9 bytes with the terminator; plus header and tag.
    for (size_t i = 0; i < 4 + KsStore::kProtectedOverheadBytes; ++i)
        cases.push_back({false, i});
    for (size_t i = 0; i < 9 + KsStore::kProtectedOverheadBytes; ++i)
        cases.push_back({true, i});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Positions, FlippedByteRejected, ::testing::ValuesIn(flipCases()), [](const auto& info) {
    return std::string(info.param.text ? "text_" : "number_") + std::to_string(info.param.position);
});

class TruncatedRejected : public ProtectedValue, public ::testing::WithParamInterface<bool> {};

TEST_P(TruncatedRejected, AtEveryLength)
{
    const std::vector<BYTE> stored = storeSample(GetParam());
    for (size_t length = 0; length < stored.size(); ++length) {
        writeRaw(kKeyPath, L"V", REG_BINARY, stored.data(), length);
        SCOPED_TRACE(length);
        expectRefused(L"V", !GetParam(), GetParam());
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, TruncatedRejected, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "text" : "number"); });

TEST_F(ProtectedValue, WrongLogicalTypeRejected)
{
    ASSERT_EQ(KsStore::writeProtectedString(m_key, L"Text", L"abc"), 0u);
    ASSERT_EQ(KsStore::writeProtectedDword(m_key, L"Number", 3u), 0u);
    expectRefused(L"Text", true, false);
    expectRefused(L"Number", false, true);
    // A sealed number of the wrong width is no REG_DWORD either.
    const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    writeProtectedBytes(kKeyPath, L"Wide", REG_DWORD, eight, sizeof eight);
    writeProtectedBytes(kKeyPath, L"Qword", REG_QWORD, eight, sizeof eight);
    expectRefused(L"Wide", true, false);
    expectRefused(L"Qword", true, false);
}

TEST_F(ProtectedValue, OversizeValueRejected)
{
    std::vector<BYTE> huge(KsStore::kMaxProtectedBlobBytes + 1, 0x5A);
    writeRaw(kKeyPath, L"Huge", REG_BINARY, huge.data(), huge.size());
    // A well-formed start does not help: the size alone rules it out.
    std::vector<uint8_t> sealed(KsStore::kMaxProtectedBlobBytes);
    KsStore::encodeProtectedValue(REG_SZ, huge.data(), KsStore::kMaxProtectedDataBytes, sealed.data());
    sealed.push_back(0);
    writeRaw(kKeyPath, L"Grown", REG_BINARY, sealed.data(), sealed.size());
    expectRefused(L"Huge");
    expectRefused(L"Grown", false, true);
}

} // namespace
