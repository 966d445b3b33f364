// Conversions between UTF-16 and the system's ANSI code page for the task store.
#include "store/AnsiText.h"

#include "common/WinInclude.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace KsStore {

namespace {

bool isAscii(const wchar_t* text)
{
    for (; *text; ++text)
        if (*text >= 0x80)
            return false;
    return true;
}

// WC_NO_BEST_FIT_CHARS is refused by a few code pages (UTF-8 among them); those map exactly anyway.
int toAnsi(const wchar_t* text, int chars, char* out, int capacity)
{
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, chars, out, capacity, nullptr, nullptr);
    if (n == 0 && GetLastError() == ERROR_INVALID_FLAGS)
        n = WideCharToMultiByte(CP_ACP, 0, text, chars, out, capacity, nullptr, nullptr);
    return n;
}

} // namespace

AnsiRoundTrip::AnsiRoundTrip(const wchar_t* text) : m_text(text)
{
    if (text == nullptr || isAscii(text))
        return;
    m_converted = ansiRoundTrip(text);
    m_text = m_converted.c_str();
}

std::wstring ansiRoundTrip(const wchar_t* text)
{
    if (text == nullptr)
        return {};
    if (isAscii(text))
        return text;
    int bytes = toAnsi(text, -1, nullptr, 0);
    if (bytes <= 0)
        return {};
    std::vector<char> ansi(static_cast<size_t>(bytes));
    toAnsi(text, -1, ansi.data(), bytes);
    int chars = MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, nullptr, 0);
    if (chars <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, wide.data(), chars);
    wide.resize(std::wcslen(wide.c_str()));
    return wide;
}

size_t wideToAnsi(const wchar_t* text, char* out, size_t capacity)
{
    if (capacity == 0)
        return 0;
    int n = toAnsi(text, -1, out, static_cast<int>(capacity));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t ansiToWide(const char* text, size_t bytes, wchar_t* out, size_t capacity)
{
    if (capacity == 0)
        return 0;
    const void* nul = std::memchr(text, 0, bytes);
    size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : bytes;
    size_t written = 0;
    if (length > 0) {
        // Each ANSI byte gives at most one UTF-16 unit, so a buffer of `length` always suffices;
        // convert whole, then cut, because the converter refuses a buffer that is too small.
        std::wstring wide(length, L'\0');
        int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.data(),
                                    static_cast<int>(length));
        written = n > 0 ? static_cast<size_t>(n) : 0;
        if (written > capacity - 1)
            written = capacity - 1;
        // Never leave half a surrogate pair at the cut.
        if (written > 0 && written < static_cast<size_t>(n) && IS_HIGH_SURROGATE(wide[written - 1]))
            --written;
        std::wmemcpy(out, wide.data(), written);
    }
    out[written] = L'\0';
    return written;
}

} // namespace KsStore
