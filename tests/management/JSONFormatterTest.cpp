// Tessel::JSONFormatter: parse rules, member lookup and replacement, arrays, compact output,
// and documents nested far beyond any real payload.
#include "ManagementTestSupport.h"
#include "management/JSONFormatter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Tessel::JSONFormatter;

namespace {

struct ParseCase {
    std::wstring text;
    bool accepted;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << mgmttest::printable(c.text) << (c.accepted ? " accepted" : " refused");
}

class JSONFormatterParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(JSONFormatterParse, AcceptsOnlyWellFormedObjects)
{
    JSONFormatter formatter;
    formatter.setString(L"stale", L"x");
    EXPECT_EQ(formatter.parse(GetParam().text), GetParam().accepted);
    if (!GetParam().accepted) {
        // A refused text leaves an empty object, not the previous document.
        EXPECT_EQ(formatter.serialize(), L"{}");
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, JSONFormatterParse,
    ::testing::Values(ParseCase{L"{}", true}, ParseCase{L" { \"a\" : \"b\" } ", true},
                      ParseCase{L"[]", false}, ParseCase{L"\"text\"", false}, ParseCase{L"7", false},
                      ParseCase{L"", false}, ParseCase{L"{", false}, ParseCase{L"{} {}", false},
                      ParseCase{L"{\"a\":}", false}, ParseCase{L"{'a':'b'}", false},
                      ParseCase{L"{\"a\":1e999}", false}, ParseCase{L"{\"a\":\"\\ud800\"}", false},
                      ParseCase{L"null", false}, ParseCase{std::wstring(L"{}\0garbage", 10), false}));

TEST(JSONFormatter, GetStringOnlyAnswersForStringMembers)
{
    JSONFormatter formatter;
    ASSERT_TRUE(formatter.parse(L"{\"s\":\"v\",\"n\":7,\"b\":true,\"a\":[\"x\"],\"o\":{},\"z\":null}"));
    std::wstring value = L"untouched";
    EXPECT_TRUE(formatter.getString(L"s", value));
    EXPECT_EQ(value, L"v");
    for (const wchar_t* key : {L"n", L"b", L"a", L"o", L"z", L"missing", L"S"}) {
        value = L"untouched";
        EXPECT_FALSE(formatter.getString(key, value)) << key;
        EXPECT_EQ(value, L"untouched") << key;
    }
}

TEST(JSONFormatter, LookupFindsFirstOfDuplicateMembers)
{
    JSONFormatter formatter;
    ASSERT_TRUE(formatter.parse(L"{\"k\":\"first\",\"k\":\"second\"}"));
    std::wstring value;
    ASSERT_TRUE(formatter.getString(L"k", value));
    EXPECT_EQ(value, L"first");
}

TEST(JSONFormatter, SetMovesLastMemberIntoFreedPlaceAndAppends)
{
    JSONFormatter formatter;
    formatter.setString(L"a", L"1");
    formatter.setString(L"b", L"2");
    formatter.setString(L"c", L"3");
    formatter.setString(L"a", L"4");
    EXPECT_EQ(formatter.serialize(), L"{\"c\":\"3\",\"b\":\"2\",\"a\":\"4\"}");
    formatter.setBool(L"b", true);
    formatter.setUInt64(L"n", 18446744073709551615ull);
    EXPECT_EQ(formatter.serialize(), L"{\"c\":\"3\",\"a\":\"4\",\"b\":true,\"n\":18446744073709551615}");
}

TEST(JSONFormatter, SerializeEscapesAndKeepsNonAscii)
{
    JSONFormatter formatter;
    formatter.setString(L"q", L"a\"b\\c\n\u00e9\u4e2d");
    const std::wstring text = formatter.serialize();
    EXPECT_EQ(text, L"{\"q\":\"a\\\"b\\\\c\\n\u00e9\u4e2d\"}");
    JSONFormatter again;
    ASSERT_TRUE(again.parse(text));
    std::wstring value;
    ASSERT_TRUE(again.getString(L"q", value));
    EXPECT_EQ(value, L"a\"b\\c\n\u00e9\u4e2d");
}

TEST(JSONFormatter, StringArraysAppendAndRefuseOtherKinds)
{
    JSONFormatter formatter;
    formatter.appendString(L"name", L"a");
    formatter.appendString(L"name", L"b");
    EXPECT_EQ(formatter.serialize(), L"{\"name\":[\"a\",\"b\"]}");

    std::vector<std::wstring> values{L"kept"};
    EXPECT_TRUE(formatter.getStringArray(L"name", values));
    EXPECT_EQ(values, (std::vector<std::wstring>{L"kept", L"a", L"b"}));
    values.clear();
    EXPECT_TRUE(formatter.getStringArray(L"absent", values));
    EXPECT_TRUE(values.empty());

    ASSERT_TRUE(formatter.parse(L"{\"mixed\":[\"x\",1,\"y\"],\"scalar\":\"s\"}"));
    EXPECT_FALSE(formatter.getStringArray(L"mixed", values));
    EXPECT_EQ(values, std::vector<std::wstring>{L"x"});
    EXPECT_FALSE(formatter.getStringArray(L"scalar", values));

    formatter.setStringArray(L"scalar", {L"p", L"q"});
    EXPECT_EQ(formatter.serialize(), L"{\"mixed\":[\"x\",1,\"y\"],\"scalar\":[\"p\",\"q\"]}");
}

TEST(JSONFormatter, AppendObjectCopiesTheOtherObject)
{
    JSONFormatter item;
    item.setUInt64(L"presetid", 3);
    JSONFormatter list;
    list.appendObject(L"presets", item);
    item.setUInt64(L"presetid", 4);
    list.appendObject(L"presets", item);
    list.appendObject(L"self", list);
    EXPECT_EQ(list.serialize(),
              L"{\"presets\":[{\"presetid\":3},{\"presetid\":4}],\"self\":[{\"presets\":[{\"presetid\":3},{\"presetid\":4}]}]}");
}

std::wstring nested(size_t depth, wchar_t open, wchar_t close, const std::wstring& inner = L"")
{
    return std::wstring(depth, open) + inner + std::wstring(depth, close);
}

TEST(JSONFormatter, HundredThousandBracketsAreRefusedWithoutOverflow)
{
    JSONFormatter formatter;
    EXPECT_FALSE(formatter.parse(nested(100000, L'[', L']')));
    EXPECT_FALSE(formatter.parse(L"{\"a\":" + nested(100000, L'[', L']') + L"}"));
    EXPECT_FALSE(formatter.parse(std::wstring(100000, L'{')));
    std::wstring objects;
    for (int i = 0; i < 100000; ++i)
        objects += L"{\"a\":";
    EXPECT_FALSE(formatter.parse(objects + L"1" + std::wstring(100000, L'}')));
    EXPECT_EQ(formatter.serialize(), L"{}");
}

TEST(JSONFormatter, NestingUpToTheBoundParsesAndRoundTrips)
{
    // The root object plus kMaxDepth - 1 arrays is exactly at the bound.
    const std::wstring deepest = L"{\"a\":" + nested(JSONFormatter::kMaxDepth - 1, L'[', L']') + L"}";
    JSONFormatter formatter;
    ASSERT_TRUE(formatter.parse(deepest));
    EXPECT_EQ(formatter.serialize(), deepest);
    EXPECT_FALSE(formatter.parse(L"{\"a\":" + nested(JSONFormatter::kMaxDepth, L'[', L']') + L"}"));
}

TEST(JSONFormatter, ObjectCopiesNeverExceedTheBound)
{
    JSONFormatter inner;
    for (int i = 0; i < 1000; ++i) {
        JSONFormatter outer;
        outer.appendObject(L"x", inner);
        inner.parse(outer.serialize());
    }
    // Growth stops at the bound instead of building a tree too deep to walk.
    JSONFormatter check;
    EXPECT_TRUE(check.parse(inner.serialize()));
}

} // namespace
