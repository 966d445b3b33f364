// UTC record time and performance-counter seconds for analytics records.
#include "analytics/RecordTime.h"

#include "common/WinInclude.h"

#include <ctime>
#include <cwchar>

namespace Tessel::Analytics::internal {

namespace {

bool inRange(const std::tm& t)
{
    return t.tm_sec < 61 && t.tm_min < 60 && t.tm_hour < 24 && t.tm_mday >= 1 && t.tm_mday <= 31 && t.tm_mon < 12 &&
           t.tm_year >= 0 && t.tm_wday < 7 && t.tm_yday < 366;
}

} // namespace

bool formatRecordCreated(int64_t secondsSince1970, std::wstring& text)
{
    if (secondsSince1970 < 0)
        return false;
    std::time_t time = static_cast<std::time_t>(secondsSince1970);
    std::tm broken = {};
    if (gmtime_s(&broken, &time) != 0 || !inRange(broken))
        return false;
    // Spelled out rather than through %T, which not every C runtime's wcsftime knows.
    wchar_t buffer[50] = {};
    _snwprintf(buffer, 49, L"%04d-%02d-%02d %02d:%02d:%02dZ", broken.tm_year + 1900, broken.tm_mon + 1,
               broken.tm_mday, broken.tm_hour, broken.tm_min, broken.tm_sec);
    text = buffer;
    return true;
}

uint64_t performanceCounterSeconds()
{
    LARGE_INTEGER counter = {}, frequency = {};
    if (!::QueryPerformanceCounter(&counter) || !::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0)
        return 0;
    // Whole seconds of counter * 10^9 / frequency nanoseconds, without the 64-bit overflow.
    return static_cast<uint64_t>(counter.QuadPart / frequency.QuadPart);
}

} // namespace Tessel::Analytics::internal
