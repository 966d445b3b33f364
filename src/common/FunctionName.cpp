// Reduces the compiler's decorated function text to the qualified name log lines show.
#include "common/FunctionName.h"

#include <cstring>
#include <string_view>

namespace ETWLogging::detail {
namespace {

// Namespaces the code groups itself in that are no part of the names a reader knows the classes
// by: the engine's, execution's and store's classes are known unqualified ("CKsTaskScheduler::
// _TaskExecutionPump"), and the path would fill the line's 40-character field before the method.
constexpr std::string_view kOwnNamespaces[] = {
    "Keelwork::engine::", "Keelwork::customization::", "KsExecution::", "KsPlatform::", "KsStore::", "KsCalendar::",
    "ETWLogging::detail::",
};
constexpr std::string_view kAnonymous = "{anonymous}::";

// The name ends at the first '(' outside template brackets, which for a lambda is the end of the
// enclosing function's name ("A::f(int)::<lambda()>" -> "A::f").
size_t nameEnd(std::string_view pretty)
{
    int depth = 0;
    for (size_t i = 0; i < pretty.size(); ++i) {
        const char c = pretty[i];
        if (c == '<')
            ++depth;
        else if (c == '>' && depth > 0)
            --depth;
        else if (c == '(' && depth == 0)
            return i;
    }
    return pretty.size();
}

// The name starts after the last space before its end outside template brackets, which drops the
// return type and specifiers.
size_t nameBegin(std::string_view pretty, size_t end)
{
    int depth = 0;
    for (size_t i = end; i > 0; --i) {
        const char c = pretty[i - 1];
        if (c == '>')
            ++depth;
        else if (c == '<' && depth > 0)
            --depth;
        else if (c == ' ' && depth == 0)
            return i;
    }
    return 0;
}

} // namespace

// "virtual bool Keelwork::CRegKey::open(HKEY, const wchar_t*)" -> "Keelwork::CRegKey::open";
// "void Keelwork::engine::{anonymous}::publish(...)" -> "publish".
FunctionName::FunctionName(const char* prettyFunction)
{
    const std::string_view pretty(prettyFunction);
    const size_t end = nameEnd(pretty);
    const size_t begin = nameBegin(pretty, end);
    const std::string_view name = pretty.substr(begin, end - begin);

    // Anonymous namespaces go wherever they stand; then one of our own namespaces at the front.
    size_t length = 0;
    for (size_t i = 0; i < name.size() && length < sizeof m_text - 1;) {
        if (name.substr(i, kAnonymous.size()) == kAnonymous) {
            i += kAnonymous.size();
            continue;
        }
        m_text[length++] = name[i++];
    }
    m_text[length] = '\0';
    for (std::string_view own : kOwnNamespaces) {
        if (std::string_view(m_text, length).substr(0, own.size()) == own) {
            std::memmove(m_text, m_text + own.size(), length - own.size() + 1);
            break;
        }
    }
}

} // namespace ETWLogging::detail
