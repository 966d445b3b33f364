// Local-time text: the wall clock is the instant moved by the offset in force then, its fields
// read by a UTC-only conversion, so texts and calendar runs never disagree about a zone.
#include "common/TimeText.h"

#include "common/UtcOffset.h"

namespace Keelwork {

namespace {

struct WallClock {
    int year, month, day, hour, minute, second;
};

// The civil date of a count of days since 1970-01-01 (proleptic Gregorian, eras of 400 years),
// by arithmetic: the runtime's conversion cost a microsecond, fifty times over in one answer.
WallClock wallClockFields(int64_t wall)
{
    constexpr int64_t kDay = 86400;
    const int64_t days = wall >= 0 ? wall / kDay : -((-wall + kDay - 1) / kDay);
    const int64_t secondOfDay = wall - days * kDay;
    const int64_t shifted = days + 719468;  // days since 0000-03-01
    const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const int64_t dayOfEra = shifted - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    return {static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0)), month,
            static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1), static_cast<int>(secondOfDay / 3600),
            static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60)};
}

// Fixed-width decimal digits, for the same reason.
wchar_t* putDigits(wchar_t* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = static_cast<wchar_t>(L'0' + value % 10);
    return out + width;
}

// "YYYY-MM-DD<between>HH:MM:SS"; the years a task time reaches (1969 to 2106) have four digits.
std::wstring wallClockText(int64_t wall, wchar_t between)
{
    const WallClock fields = wallClockFields(wall);
    wchar_t text[19];
    wchar_t* out = putDigits(text, fields.year, 4);
    *out++ = L'-';
    out = putDigits(out, fields.month, 2);
    *out++ = L'-';
    out = putDigits(out, fields.day, 2);
    *out++ = between;
    out = putDigits(out, fields.hour, 2);
    *out++ = L':';
    out = putDigits(out, fields.minute, 2);
    *out++ = L':';
    out = putDigits(out, fields.second, 2);
    return std::wstring(text, out);
}
} // namespace

std::wstring localTimeText(uint32_t seconds)
{
    return wallClockText(seconds + utcOffsetAt(seconds), L' ');
}

std::wstring isoLocalTimeText(uint32_t seconds)
{
    const int64_t offset = utcOffsetAt(seconds);
    std::wstring text = wallClockText(seconds + offset, L'T');
    const int minutes = static_cast<int>((offset < 0 ? -offset : offset) / 60);
    wchar_t zone[6] = {offset < 0 ? L'-' : L'+'};
    putDigits(putDigits(zone + 1, minutes / 60, 2) + 1, minutes % 60, 2);
    zone[3] = L':';
    return text.append(zone, 6);
}

} // namespace Keelwork
