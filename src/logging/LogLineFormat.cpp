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

void appendTimestamp(std::wstring& out, const LocalTimestamp& t)
{
    unsigned short hour12 = t.hour == 0 ? 12 : (t.hour > 12 ? t.hour - 12 : t.hour);
    appendFormatted(out, L"%02hu/%02hu/%hu %02hu:%02hu:%02hu %s$", t.month, t.day, t.year, hour12, t.minute,
                    t.second, t.hour < 12 ? L"AM" : L"PM");
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
    appendFormatted(out, L" -- (%s)$", name);
    if ((f.options & LOG_OPTION_IMAGE_NAME) && f.processImageName)
        appendFormatted(out, L" [%15.15s]$", f.processImageName);
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
