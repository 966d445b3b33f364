// Wide message formatting through the CRT's _vsnwprintf, which keeps the Windows meaning of %s
// under mingw (its vswprintf reads %s as narrow).
#include "common/MessageFormat.h"

#include <cstdio>
#include <cwchar>
#include <new>

namespace ETWLogging {

std::wstring formatMessageLimited(const wchar_t* format, va_list args, size_t limit)
{
    std::wstring text(limit, L'\0');
    va_list copy;
    va_copy(copy, args);
    int written = _vsnwprintf(text.data(), limit, format, copy);
    va_end(copy);
    // -1 means the output did not fit: the buffer holds its first `limit` characters.
    text.resize(written < 0 ? limit : static_cast<size_t>(written));
    return text;
}

bool formatMessageUnlimited(const wchar_t* format, va_list args, std::wstring& out)
{
    // Most lines fit a small stack buffer; only longer ones pay for the measuring pass.
    wchar_t small[512];
    va_list copy;
    va_copy(copy, args);
    int written = _vsnwprintf(small, sizeof small / sizeof small[0], format, copy);
    va_end(copy);
    if (written >= 0) {
        out.assign(small, static_cast<size_t>(written));
        return true;
    }
    va_copy(copy, args);
    int needed = _vscwprintf(format, copy);
    va_end(copy);
    if (needed < 0)
        return false;
    try {
        out.assign(static_cast<size_t>(needed) + 1, L'\0');
    } catch (const std::bad_alloc&) {
        return false;
    }
    va_copy(copy, args);
    written = _vsnwprintf(out.data(), out.size(), format, copy);
    va_end(copy);
    out.resize(written < 0 ? 0 : static_cast<size_t>(written));
    return true;
}

std::wstring formatMessage(const wchar_t* format, ...)
{
    std::wstring text;
    va_list args;
    va_start(args, format);
    if (!formatMessageUnlimited(format, args, text))
        text.clear();
    va_end(args);
    return text;
}

std::wstring formatMessageForFile(const wchar_t* format, va_list args)
{
    std::wstring text;
    if (!formatMessageUnlimited(format, args, text))
        return {};
    if (text.size() > kFileCutThresholdChars)
        text.resize(kMaxMessageChars);
    return text;
}

} // namespace ETWLogging
