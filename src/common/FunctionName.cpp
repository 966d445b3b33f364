// Reduces the compiler's decorated function text to the qualified name log lines show.
#include "common/FunctionName.h"

#include <cstring>

namespace ETWLogging::detail {

// "virtual bool Keelwork::CRegKey::open(HKEY, const wchar_t*)" -> "Keelwork::CRegKey::open".
// The name ends at the first '(' outside template brackets and starts after the last space
// before it outside template brackets (which drops the return type and specifiers).
FunctionName::FunctionName(const char* pretty)
{
    const size_t length = std::strlen(pretty);
    size_t end = length;
    int depth = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = pretty[i];
        if (c == '<')
            ++depth;
        else if (c == '>' && depth > 0)
            --depth;
        else if (c == '(' && depth == 0) {
            end = i;
            break;
        }
    }
    size_t begin = 0;
    depth = 0;
    for (size_t i = end; i > 0; --i) {
        char c = pretty[i - 1];
        if (c == '>')
            ++depth;
        else if (c == '<' && depth > 0)
            --depth;
        else if (c == ' ' && depth == 0) {
            begin = i;
            break;
        }
    }
    size_t count = end - begin;
    if (count >= sizeof m_text)
        count = sizeof m_text - 1;
    std::memcpy(m_text, pretty + begin, count);
    m_text[count] = '\0';
}

} // namespace ETWLogging::detail
