// The file log's line layout.
#include "logging/LogLineFormat.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace ETWLogging {

namespace {

void appendFormatted(std::wstring& out, const wchar_t* format, ...)
{
    wchar_t buffer[160];
    va_list args;
    va_start(args, format);
    int written = _vsnwprintf(buffer, sizeof buffer / sizeof buffer[0], format, args);
    va_end(args);
    out.append(buffer, written < 0 ? sizeof buffer / sizeof buffer[0] : static_cast<size_t>(written));
}

// The text after the last backslash: callers may pass a path.
const char* baseName(const char* file)
{
    if (!file)
        return "";
    const char* slash = std::strrchr(file, '\\');
    return slash ? slash + 1 : file;
}

// Decimal digits of `value`, at least `width` of them: the fields every line carries are put
// together by hand, which costs a fraction of a formatted print.
void appendNumber(std::wstring& out, unsigned value, size_t width)
{
    wchar_t digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (; count < width; --width)
        out += L'0';
    while (count > 0)
        out += digits[--count];
}

// "MM/DD/YYYY hh:mm:ss AM$" on a 12-hour clock.
void appendTimestamp(std::wstring& out, const LocalTimestamp& t)
{
    unsigned short hour12 = t.hour == 0 ? 12 : (t.hour > 12 ? t.hour - 12 : t.hour);
    appendNumber(out, t.month, 2);
    out += L'/';
    appendNumber(out, t.day, 2);
    out += L'/';
    appendNumber(out, t.year, 1);
    out += L' ';
    appendNumber(out, hour12, 2);
    out += L':';
    appendNumber(out, t.minute, 2);
    out += L':';
    appendNumber(out, t.second, 2);
    out += t.hour < 12 ? L" AM$" : L" PM$";
}

// " [name]$" with the name cut to, or right-aligned in, `width` characters.
void appendField(std::wstring& out, const wchar_t* text, size_t width)
{
    const size_t length = std::wcslen(text);
    out += L" [";
    if (length < width)
        out.append(width - length, L' ');
    out.append(text, length < width ? length : width);
    out += L"]$";
}

} // namespace

const wchar_t* levelName(uint32_t level)
{
    static const wchar_t* const names[] = {L"Normal", L"Warning", L"Information", L"Error", L"Critical", L"Information"};
    return level >= 1 && level <= 6 ? names[level - 1] : nullptr;
}

bool buildLogLine(const LogLineFields& f, const std::wstring& message, std::wstring& out)
{
    const wchar_t* name = levelName(f.level);
    if (!name)
        return false;
    appendTimestamp(out, f.time);
    out += L" -- (";
    out += name;
    out += L")$";
    if ((f.options & LOG_OPTION_IMAGE_NAME) && f.processImageName)
        appendField(out, f.processImageName, 15);
    if (f.options & LOG_OPTION_PROCESS_THREAD)
        appendFormatted(out, L" [PID:%5lu TID:%5lu]$", static_cast<unsigned long>(f.processId),
                        static_cast<unsigned long>(f.threadId));
    if (f.options & LOG_OPTION_SOURCE)
        appendFormatted(out, L" [%20.20hs:%5d]$", baseName(f.file), f.line);
    if (f.options & LOG_OPTION_FUNCTION)
        appendFormatted(out, L" [%40.40hs()]$", f.function ? f.function : "");
    out += L' ';
    out += message;
    if (message.empty() || message.back() != L'\n')
        out += L"\r\n";
    return true;
}

} // namespace ETWLogging
