// Local-time text: the wall clock is the instant moved by the offset in force then, its fields
// read by a UTC-only conversion, so texts and calendar runs never disagree about a zone.
#include "common/TimeText.h"

#include "common/UtcOffset.h"

#include <cwchar>
#include <ctime>

namespace Keelwork {

namespace {
// The runtime refuses readings before 1970, which a zone west of UTC reaches on 1970-01-01. 400
// Gregorian years are a whole number of days and weeks, so such a reading is read 400 years on.
constexpr int64_t kFourHundredYears = 146097LL * 86400;

bool wallClockFields(int64_t wall, std::tm& fields)
{
    const __time64_t readable = wall < 0 ? wall + kFourHundredYears : wall;
    if (_gmtime64_s(&fields, &readable) != 0)
        return false;
    if (wall < 0)
        fields.tm_year -= 400;
    return true;
}

std::wstring wallClockText(int64_t wall, const wchar_t* format)
{
    std::tm fields{};
    wchar_t text[50];
    if (!wallClockFields(wall, fields) || std::wcsftime(text, 50, format, &fields) == 0)
        return L"?";
    return text;
}
} // namespace

std::wstring localTimeText(uint32_t seconds)
{
    return wallClockText(seconds + utcOffsetAt(seconds), L"%Y-%m-%d %H:%M:%S");
}

std::wstring isoLocalTimeText(uint32_t seconds)
{
    const int64_t offset = utcOffsetAt(seconds);
    std::wstring text = wallClockText(seconds + offset, L"%Y-%m-%dT%H:%M:%S");
    if (text == L"?")
        return text;
    const int64_t minutes = (offset < 0 ? -offset : offset) / 60;
    wchar_t zone[16];
    std::swprintf(zone, 16, L"%02d:%02d", static_cast<int>(minutes / 60), static_cast<int>(minutes % 60));
    return text + (offset < 0 ? L'-' : L'+') + zone;
}

} // namespace Keelwork
