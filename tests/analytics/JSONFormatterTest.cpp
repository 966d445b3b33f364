// The JSON text handed to the collector: member order, string escaping, the empty event.
#include "analytics/JSONFormatter.h"

#include <gtest/gtest.h>

namespace {

using Tessel::Analytics::CJSONFormatter;
using Tessel::Analytics::DimensionMap;

struct EscapeCase {
    std::wstring raw;
    std::wstring escaped;
};

// The expected text in printable ASCII, so the test's name is the same in every run.
void PrintTo(const EscapeCase& row, std::ostream* out)
{
    for (wchar_t c : row.escaped)
        *out << (c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
}

class JsonEscaping : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(JsonEscaping, ValueAndNameComeOutEscaped)
{
    std::wstring text;
    ASSERT_TRUE(CJSONFormatter().format(DimensionMap{{GetParam().raw, GetParam().raw}}, text));
    EXPECT_EQ(text, L"{\"" + GetParam().escaped + L"\":\"" + GetParam().escaped + L"\"}");
}

INSTANTIATE_TEST_SUITE_P(
    Characters, JsonEscaping,
    ::testing::Values(EscapeCase{L"say \"hi\"\nnow", L"say \\\"hi\\\"\\nnow"}, EscapeCase{L"a\tb", L"a\\tb"},
                      EscapeCase{L"\b\f\r", L"\\b\\f\\r"}, EscapeCase{L"C:\\dir/x", L"C:\\\\dir\\/x"},
                      EscapeCase{L"\x01\x1F", L"\\u0001\\u001F"}, EscapeCase{L"\x7F\x80\x9F", L"\\u007F\\u0080\\u009F"},
                      EscapeCase{L"\xA0\xE9\x20AC ~", L"\xA0\xE9\x20AC ~"}, EscapeCase{L"", L""}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

} // namespace
