// JSON text of an event: {"name":"value",...} with every name and value escaped.
#include "analytics/JSONFormatter.h"

#include <cwchar>

namespace Tessel::Analytics {

std::wstring CJSONFormatter::escape(const std::wstring& raw)
{
    std::wstring out;
    out.reserve(raw.size() + 8);
    for (wchar_t c : raw) {
        switch (c) {
        case L'\b': out += L"\\b"; break;
        case L'\t': out += L"\\t"; break;
        case L'\n': out += L"\\n"; break;
        case L'\f': out += L"\\f"; break;
        case L'\r': out += L"\\r"; break;
        case L'"': out += L"\\\""; break;
        case L'/': out += L"\\/"; break;
        case L'\\': out += L"\\\\"; break;
        default:
            if (c < 32 || (c >= 127 && c <= 159)) {
                wchar_t escaped[8];
                _snwprintf(escaped, 8, L"\\u%04X", static_cast<unsigned>(c));
                escaped[6] = L'\0';
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out;
}

bool CJSONFormatter::format(const DimensionMap& dimensions, std::wstring& text) const
{
    if (dimensions.empty())
        return false;
    text = L"{";
    for (const auto& [name, value] : dimensions)
        text += L"\"" + escape(name) + L"\":\"" + escape(value) + L"\",";
    text.back() = L'}';
    return true;
}

} // namespace Tessel::Analytics
