// The words of each task type and calendar rule.
#include "TriggerText.h"

#include "store/KsTaskInfo.h"

#include <cwchar>

namespace KsTaskTool {
namespace {

constexpr const wchar_t* kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};

std::wstring days(uint32_t mask)
{
    std::wstring text;
    for (unsigned day = 0; day < 7; ++day)
        if (mask & (1u << day))
            text += (text.empty() ? L"" : L",") + std::wstring(kDays[day]);
    return text;
}

std::wstring clock(uint32_t hour, uint32_t minute)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%02u:%02u", hour, minute);
    return text;
}

// A calendar rule runs on the allowed days of the week its interval picks, at one local time.
std::wstring calendarText(const KsCalendar::CalendarRule& rule)
{
    if ((rule.dayOfWeekMask & 0x7F) == 0)
        return L"calendar without days";
    const std::wstring at = clock(rule.hour, rule.minute);
    const std::wstring on = days(rule.dayOfWeekMask);
    switch (static_cast<KsCalendar::Interval>(rule.interval)) {
    case KsCalendar::Interval::weekly: return L"weekly " + on + L" " + at;
    case KsCalendar::Interval::biweekly: return L"every 2 weeks " + on + L" " + at;
    case KsCalendar::Interval::firstInMonth: return L"first " + on + L" of month " + at;
    case KsCalendar::Interval::lastInMonth: return L"last " + on + L" of month " + at;
    default: break;
    }
    // Without an interval the rule runs on every allowed day.
    return (rule.dayOfWeekMask & 0x7F) == 0x7F ? L"daily " + at : L"daily " + on + L" " + at;
}

std::wstring occasionText(const wchar_t* kind, uint32_t every)
{
    return every > 1 ? std::wstring(kind) + L" every " + std::to_wstring(every) : std::wstring(kind);
}

} // namespace

std::wstring triggerText(const KsInsight::TaskPicture& picture)
{
    switch (picture.type) {
    case KS_TASK_REBOOT: return occasionText(L"boot", picture.defaultFreq);
    case KS_TASK_LOGON: return occasionText(L"logon", picture.defaultFreq);
    case KS_TASK_SCHEDULED:
        return picture.defaultFreq == 0 ? L"no period" : L"every " + std::to_wstring(picture.defaultFreq) + L" s";
    case KS_TASK_ONCE: return L"once";
    case KS_TASK_CUSTOM: return calendarText(picture.rule);
    case KS_TASK_PRESET: return L"preset " + calendarText(picture.rule);
    default: return L"unknown type " + std::to_wstring(picture.type);
    }
}

} // namespace KsTaskTool
