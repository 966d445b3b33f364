// Time-of-day text and placeholder filling for preset descriptions.
#include "customization/PresetDescriptionText.h"

#include "common/WinInclude.h"
#include "customization/PresetRegistry.h"

namespace Orbis {
namespace {

void replaceAll(std::wstring& text, const std::wstring& placeholder, const std::wstring& value)
{
    // Searching on after the inserted value, so a value holding the placeholder cannot loop.
    for (size_t at = text.find(placeholder); at != std::wstring::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

} // namespace

std::wstring formatPresetTime(uint32_t hour, uint32_t minute)
{
    wchar_t picture[MAX_PATH] = {};
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, picture, MAX_PATH) == 0)
        wcscpy_s(picture, PresetNames::kFallbackTimePicture);

    // Any valid date: only the time fields are formatted.
    SYSTEMTIME time = {};
    time.wYear = 2000;
    time.wMonth = 1;
    time.wDay = 1;
    time.wHour = static_cast<WORD>(hour > 0xFFFF ? 0xFFFF : hour);
    time.wMinute = static_cast<WORD>(minute > 0xFFFF ? 0xFFFF : minute);

    wchar_t text[MAX_PATH] = {};
    if (::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, picture, text, MAX_PATH) == 0)
        return {};
    return text;
}

std::wstring fillPresetDescription(std::wstring description, const std::wstring& day, const std::wstring& time)
{
    replaceAll(description, PresetNames::kDayPlaceholder, day);
    replaceAll(description, PresetNames::kTimePlaceholder, time);
    return description;
}

} // namespace Orbis
