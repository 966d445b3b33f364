// CRegKey value behaviour seen in the registry: typed round trips, type checks, bounded strings.
#include "RegistryFixture.h"
#include "registry/ObfuscatedRegKey.h"
#include "registry/RegKey.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using Keelwork::CRegKey;

namespace {

constexpr const wchar_t* kPath = L"SOFTWARE\\Kestrel\\RegKeyTest";
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;

// What the registry itself holds, read without the class under test.
struct RawValue {
    LONG status = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

RawValue readRaw(const wchar_t* name)
{
    RawValue raw;
    DWORD size = 0;
    raw.status = RegGetValueW(HKEY_LOCAL_MACHINE, kPath, name, RRF_RT_ANY | RRF_NOEXPAND, &raw.type, nullptr, &size);
    if (raw.status != ERROR_SUCCESS)
        return raw;
    raw.data.resize(size);
    raw.status = RegGetValueW(HKEY_LOCAL_MACHINE, kPath, name, RRF_RT_ANY | RRF_NOEXPAND, &raw.type, raw.data.data(), &size);
    raw.data.resize(size);
    return raw;
}

void writeRaw(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kPath, name, type, data, size), ERROR_SUCCESS);
}

class RegKeyTest : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
    }
    CRegKey key;
};

// --- typed round trips ------------------------------------------------------------------------

constexpr GUID kGuid = {0x12345678, 0x9abc, 0xdef0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}};

struct RoundTrip {
    const char* label;
    DWORD storedType;
    std::function<LONG(CRegKey&)> write;
    // Reads the value back through the class and says whether it matches what was written.
    std::function<bool(const CRegKey&)> readMatches;
};

void PrintTo(const RoundTrip& c, std::ostream* os)
{
    *os << c.label;
}

class RegKeyRoundTrip : public RegKeyTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(RegKeyRoundTrip, WrittenValueHasItsTypeAndReadsBack)
{
    const RoundTrip& c = GetParam();
    ASSERT_EQ(c.write(key), ERROR_SUCCESS);
    RawValue raw = readRaw(L"v");
    ASSERT_EQ(raw.status, ERROR_SUCCESS);
    EXPECT_EQ(raw.type, c.storedType);
    EXPECT_TRUE(c.readMatches(key));
}

INSTANTIATE_TEST_SUITE_P(
    Types, RegKeyRoundTrip,
    ::testing::Values(
        RoundTrip{"Dword", REG_DWORD, [](CRegKey& k) { return k.setDwordValue(L"v", 0xDEADBEEF); },
                  [](const CRegKey& k) { DWORD v = 0; return k.getDwordValue(L"v", v) == 0 && v == 0xDEADBEEF; }},
        RoundTrip{"Qword", REG_QWORD, [](CRegKey& k) { return k.setQwordValue(L"v", 0x0123456789ABCDEFull); },
                  [](const CRegKey& k) { ULONGLONG v = 0; return k.getQwordValue(L"v", v) == 0 && v == 0x0123456789ABCDEFull; }},
        RoundTrip{"String", REG_SZ, [](CRegKey& k) { return k.setStringValue(L"v", L"C:\\Tasks\\run.exe"); },
                  [](const CRegKey& k) {
                      std::wstring v;
                      DWORD type = 0;
                      return k.getStringValue(L"v", v, &type) == 0 && v == L"C:\\Tasks\\run.exe" && type == REG_SZ;
                  }},
        RoundTrip{"ExpandString", REG_EXPAND_SZ,
                  [](CRegKey& k) { return k.setStringValue(L"v", L"%ProgramData%\\x", REG_EXPAND_SZ); },
                  [](const CRegKey& k) {
                      std::wstring v;
                      DWORD type = 0;
                      return k.getStringValue(L"v", v, &type) == 0 && v == L"%ProgramData%\\x" && type == REG_EXPAND_SZ;
                  }},
        RoundTrip{"LongString", REG_SZ, [](CRegKey& k) { return k.setStringValue(L"v", std::wstring(3000, L'q').c_str()); },
                  [](const CRegKey& k) { std::wstring v; return k.getStringValue(L"v", v) == 0 && v == std::wstring(3000, L'q'); }},
        RoundTrip{"LongBinary", REG_BINARY,
                  [](CRegKey& k) { std::vector<BYTE> b(5000, 0xA5); return k.setBinaryValue(L"v", b.data(), 5000); },
                  [](const CRegKey& k) {
                      std::vector<BYTE> v;
                      return k.getBinaryValue(L"v", v) == 0 && v == std::vector<BYTE>(5000, 0xA5);
                  }},
        RoundTrip{"EmptyString", REG_SZ, [](CRegKey& k) { return k.setStringValue(L"v", L""); },
                  [](const CRegKey& k) { std::wstring v = L"x"; return k.getStringValue(L"v", v) == 0 && v.empty(); }},
        RoundTrip{"Binary", REG_BINARY,
                  [](CRegKey& k) { const BYTE b[] = {0, 1, 0xFF, 0}; return k.setBinaryValue(L"v", b, sizeof b); },
                  [](const CRegKey& k) {
                      std::vector<BYTE> v;
                      return k.getBinaryValue(L"v", v) == 0 && v == std::vector<BYTE>{0, 1, 0xFF, 0};
                  }},
        RoundTrip{"MultiString", REG_MULTI_SZ,
                  [](CRegKey& k) { return k.setMultiStringValue(L"v", {L"alpha", L"b", L"gamma delta"}); },
                  [](const CRegKey& k) {
                      std::vector<std::wstring> v;
                      return k.getMultiStringValue(L"v", v) == 0 &&
                             v == std::vector<std::wstring>{L"alpha", L"b", L"gamma delta"};
                  }},
        RoundTrip{"EmptyMultiString", REG_MULTI_SZ, [](CRegKey& k) { return k.setMultiStringValue(L"v", {}); },
                  [](const CRegKey& k) {
                      std::vector<std::wstring> v{L"stale"};
                      return k.getMultiStringValue(L"v", v) == 0 && v.empty();
                  }},
        RoundTrip{"Guid", REG_SZ, [](CRegKey& k) { return k.setGuidValue(L"v", kGuid); },
                  [](const CRegKey& k) {
                      GUID g{};
                      std::wstring text;
                      return k.getGuidValue(L"v", g) == 0 && IsEqualGUID(g, kGuid) && k.getStringValue(L"v", text) == 0 &&
                             text == L"{12345678-9ABC-DEF0-0123-456789ABCDEF}";
                  }}),
    [](const auto& info) { return std::string(info.param.label); });

// --- a read of the wrong type fails and leaves its output alone --------------------------------

struct Reader {
    const char* label;
    std::vector<DWORD> acceptedTypes;
    // Reads "v" into an output pre-set to a sentinel; second: whether the sentinel survived.
    std::function<std::pair<LONG, bool>(const CRegKey&)> read;
};

struct StoredValue {
    DWORD type;
    std::vector<BYTE> data;
};

std::vector<BYTE> bytesOf(const std::wstring& text)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    return {p, p + (text.size() + 1) * sizeof(wchar_t)};
}

const StoredValue kStored[] = {
    {REG_DWORD, {1, 0, 0, 0}},
    {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
    {REG_SZ, bytesOf(L"{12345678-9ABC-DEF0-0123-456789ABCDEF}")},
    {REG_EXPAND_SZ, bytesOf(L"text")},
    {REG_BINARY, {1, 2, 3, 4}},
    {REG_MULTI_SZ, bytesOf(std::wstring(L"a\0b\0", 4))},
    // Longer than a first read: the type is still checked when the value needs a second one.
    {REG_BINARY, std::vector<BYTE>(1000, 1)},
    {REG_MULTI_SZ, bytesOf(std::wstring(600, L'x') + L'\0')},
};

const Reader kReaders[] = {
    {"Dword", {REG_DWORD}, [](const CRegKey& k) {
         DWORD v = 77;
         LONG s = k.getDwordValue(L"v", v);
         return std::make_pair(s, v == 77);
     }},
    {"Qword", {REG_QWORD}, [](const CRegKey& k) {
         ULONGLONG v = 77;
         LONG s = k.getQwordValue(L"v", v);
         return std::make_pair(s, v == 77);
     }},
    {"String", {REG_SZ, REG_EXPAND_SZ}, [](const CRegKey& k) {
         std::wstring v = L"sentinel";
         LONG s = k.getStringValue(L"v", v);
         return std::make_pair(s, v == L"sentinel");
     }},
    {"Binary", {REG_BINARY}, [](const CRegKey& k) {
         std::vector<BYTE> v{7};
         LONG s = k.getBinaryValue(L"v", v);
         return std::make_pair(s, v == std::vector<BYTE>{7});
     }},
    {"MultiString", {REG_MULTI_SZ}, [](const CRegKey& k) {
         std::vector<std::wstring> v{L"sentinel"};
         LONG s = k.getMultiStringValue(L"v", v);
         return std::make_pair(s, v == std::vector<std::wstring>{L"sentinel"});
     }},
    {"Guid", {REG_SZ}, [](const CRegKey& k) {
         GUID g{};
         LONG s = k.getGuidValue(L"v", g);
         return std::make_pair(s, IsEqualGUID(g, GUID{}) != 0);
     }},
};

void PrintTo(const Reader& r, std::ostream* os)
{
    *os << r.label;
}

class RegKeyTypeCheck : public RegKeyTest, public ::testing::WithParamInterface<Reader> {};

TEST_P(RegKeyTypeCheck, OtherStoredTypesAreInvalidDataAndOutputUntouched)
{
    const Reader& reader = GetParam();
    for (const StoredValue& stored : kStored) {
        writeRaw(L"v", stored.type, stored.data.data(), static_cast<DWORD>(stored.data.size()));
        auto [status, untouched] = reader.read(key);
        const bool accepted = std::find(reader.acceptedTypes.begin(), reader.acceptedTypes.end(), stored.type) !=
                              reader.acceptedTypes.end();
        if (accepted) {
            EXPECT_EQ(status, ERROR_SUCCESS) << "stored type " << stored.type;
        } else {
            EXPECT_EQ(status, ERROR_INVALID_DATA) << "stored type " << stored.type;
            EXPECT_TRUE(untouched) << "stored type " << stored.type;
        }
    }
}

TEST_P(RegKeyTypeCheck, MissingValueIsNotFound)
{
    EXPECT_EQ(GetParam().read(key).first, ERROR_FILE_NOT_FOUND);
}

TEST_P(RegKeyTypeCheck, ClosedKeyIsInvalidHandle)
{
    key.close();
    EXPECT_EQ(GetParam().read(key).first, ERROR_INVALID_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(Readers, RegKeyTypeCheck, ::testing::ValuesIn(kReaders),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegKeyTest, NumbersOfTheWrongSizeAreInvalidData)
{
    const BYTE shortDword[] = {1, 2};
    writeRaw(L"d", REG_DWORD, shortDword, sizeof shortDword);
    const BYTE shortQword[] = {1, 2, 3, 4};
    writeRaw(L"q", REG_QWORD, shortQword, sizeof shortQword);
    DWORD d = 5;
    ULONGLONG q = 5;
    EXPECT_EQ(key.getDwordValue(L"d", d), ERROR_INVALID_DATA);
    EXPECT_EQ(key.getQwordValue(L"q", q), ERROR_INVALID_DATA);
    EXPECT_EQ(d, 5u);
    EXPECT_EQ(q, 5u);
}

TEST_F(RegKeyTest, TextThatIsNoGuidIsInvalidData)
{
    for (const wchar_t* text : {L"not a guid", L"{12345678-9ABC-DEF0-0123-456789ABCDEZ}", L""}) {
        ASSERT_EQ(key.setStringValue(L"g", text), ERROR_SUCCESS);
        GUID g = kGuid;
        EXPECT_EQ(key.getGuidValue(L"g", g), ERROR_INVALID_DATA) << text;
        EXPECT_TRUE(IsEqualGUID(g, kGuid));
    }
}

// --- strings are bounded by their stored size and always terminated ----------------------------

TEST_F(RegKeyTest, UnterminatedStringReadsBackBoundedAndTerminated)
{
    const wchar_t text[] = {L'a', L'b', L'c'};
    writeRaw(L"s", REG_SZ, text, sizeof text);

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
    writeRaw(L"s", REG_SZ, text, sizeof text);
    std::wstring value;
    ASSERT_EQ(key.getStringValue(L"s", value), ERROR_SUCCESS);
    EXPECT_EQ(value, L"ab");
}

TEST_F(RegKeyTest, OddByteCountDropsTheHalfCharacter)
{
    const BYTE data[] = {'h', 0, 'i', 0, '!'};
    writeRaw(L"s", REG_SZ, data, sizeof data);
    std::wstring value;
    ASSERT_EQ(key.getStringValue(L"s", value), ERROR_SUCCESS);
    EXPECT_EQ(value, L"hi");
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
    writeRaw(L"m", REG_MULTI_SZ, list, sizeof list);
    std::vector<std::wstring> items;
    ASSERT_EQ(key.getMultiStringValue(L"m", items), ERROR_SUCCESS);
    EXPECT_EQ(items, (std::vector<std::wstring>{L"one", L"two"}));
}

TEST_F(RegKeyTest, StringListWithAnEmptyItemIsRefused)
{
    EXPECT_EQ(key.setMultiStringValue(L"m", {L"a", L"", L"b"}), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(readRaw(L"m").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegKeyTest, DeletedValueIsGone)
{
    ASSERT_EQ(key.setDwordValue(L"gone", 1), ERROR_SUCCESS);
    ASSERT_EQ(key.deleteValue(L"gone"), ERROR_SUCCESS);
    EXPECT_EQ(readRaw(L"gone").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.deleteValue(L"gone"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegKeyTest, ObfuscatedKeyReadsTheLoggerNumberStoredPlain)
{
    setDword(L"SOFTWARE\\Kestrel\\Logging", L"Logging Mechanism", 2);
    Keelwork::CObfuscatedRegKey logging;
    ASSERT_EQ(logging.open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\Logging", KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
    DWORD mechanism = 0;
    ASSERT_EQ(logging.getDwordValue(L"Logging Mechanism", mechanism), ERROR_SUCCESS);
    EXPECT_EQ(mechanism, 2u);

    Keelwork::CObfuscatedRegKey writer;
    ASSERT_EQ(writer.create(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
    ASSERT_EQ(writer.setStringValue(L"plain", L"visible"), ERROR_SUCCESS);
    std::wstring seen;
    ASSERT_EQ(key.getStringValue(L"plain", seen), ERROR_SUCCESS);
    EXPECT_EQ(seen, L"visible");
}

} // namespace
