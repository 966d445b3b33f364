// The task field table and its codecs: enumerations, texts, unsigned numbers, booleans, flag
// bits of dwMeteredAccessWise and week-day digits.
#include "management/TaskFieldCodec.h"

#include "management/ManagementNames.h"

#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <initializer_list>
#include <utility>

namespace Orbis {
namespace {

template <typename T>
struct EnumWord {
    const wchar_t* word;
    T value;
};

constexpr EnumWord<uint32_t> kTaskTypes[] = {
    {L"unknown", KS_TASK_UNKNOWN}, {L"reboot", KS_TASK_REBOOT}, {L"logon", KS_TASK_LOGON},
    {L"scheduled", KS_TASK_SCHEDULED}, {L"once", KS_TASK_ONCE}, {L"custom", KS_TASK_CUSTOM},
    {L"preset", KS_TASK_PRESET}};
constexpr EnumWord<uint32_t> kTriggerTypes[] = {{L"process", KS_TRIGGER_PROCESS}, {L"event", KS_TRIGGER_EVENT}};
constexpr EnumWord<uint32_t> kIntervals[] = {
    {L"none", KS_INTERVAL_NONE}, {L"weekly", KS_INTERVAL_WEEKLY}, {L"biweekly", KS_INTERVAL_BIWEEKLY},
    {L"firstInMonth", KS_INTERVAL_FIRST_IN_MONTH}, {L"lastInMonth", KS_INTERVAL_LAST_IN_MONTH}};
constexpr EnumWord<int32_t> kPriorities[] = {
    {L"default", KS_PRIORITY_DEFAULT}, {L"lowest", KS_PRIORITY_LOWEST}, {L"low", KS_PRIORITY_LOW},
    {L"normal", KS_PRIORITY_NORMAL}, {L"high", KS_PRIORITY_HIGH}, {L"highest", KS_PRIORITY_HIGHEST},
    {L"realtime", KS_PRIORITY_REALTIME}};

// Owner is deduced: most fields are declared in KSTASKINFO_BASE.
template <typename Field, typename Owner, typename T, size_t N>
TaskFieldCodec enumeration(const wchar_t* key, Field Owner::*field, const EnumWord<T> (&words)[N])
{
    const EnumWord<T>* begin = words;
    const EnumWord<T>* end = words + N;
    return {key,
            [=](const std::wstring& text, KSTASKINFO_LANE& record) {
                for (auto* w = begin; w != end; ++w) {
                    if (text == w->word) {
                        record.*field = static_cast<Field>(w->value);
                        return true;
                    }
                }
                return false;
            },
            [=](const KSTASKINFO_LANE& record, std::wstring& text) {
                for (auto* w = begin; w != end; ++w) {
                    if (static_cast<T>(record.*field) == w->value) {
                        text = w->word;
                        return true;
                    }
                }
                return false;
            }};
}

TaskFieldCodec text(const wchar_t* key, wchar_t* KSTASKINFO::*field)
{
    return {key,
            [=](const std::wstring& value, KSTASKINFO_LANE& record) {
                // The record owns its strings; a null copy means the allocation failed.
                wchar_t* copy = KsStore::duplicateString(value.c_str());
                if (!copy)
                    return false;
                KsStore::freeString(record.*field);
                record.*field = copy;
                return true;
            },
            [=](const KSTASKINFO_LANE& record, std::wstring& value) {
                if (!(record.*field))
                    return false;
                value = record.*field;
                return true;
            }};
}

// The CRT's base-10 conversion: leading space, an optional sign (minus wraps modulo 2^32), digits
// up to the first non-digit. unsigned long is 32 bits here, so ERANGE means "does not fit".
bool parseUnsigned(const std::wstring& text, uint32_t& value)
{
    const wchar_t* start = text.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long converted = std::wcstoul(start, &end, 10);
    if (end == start || errno == ERANGE)
        return false;
    static_assert(sizeof(converted) == sizeof(uint32_t));
    value = static_cast<uint32_t>(converted);
    return true;
}

TaskFieldCodec unsignedNumber(const wchar_t* key, uint32_t KSTASKINFO_LANE::*field)
{
    return {key,
            [=](const std::wstring& value, KSTASKINFO_LANE& record) { return parseUnsigned(value, record.*field); },
            [=](const KSTASKINFO_LANE& record, std::wstring& value) {
                value = std::to_wstring(record.*field);
                return true;
            }};
}

// The lane's members are left out while unset, so a task without a lane reads as it always did.
TaskFieldCodec unlessZero(TaskFieldCodec codec, uint32_t KSTASKINFO_LANE::*field)
{
    auto serialize = std::move(codec.serialize);
    codec.serialize = [=](const KSTASKINFO_LANE& record, std::wstring& value) {
        return record.*field != 0 && serialize(record, value);
    };
    return codec;
}

bool parseBoolean(const std::wstring& text, bool& value)
{
    if (text == Names::kTrueText)
        value = true;
    else if (text == Names::kFalseText)
        value = false;
    else
        return false;
    return true;
}

TaskFieldCodec boolean(const wchar_t* key, uint32_t KSTASKINFO_LANE::*field)
{
    return {key,
            [=](const std::wstring& value, KSTASKINFO_LANE& record) {
                bool on = false;
                if (!parseBoolean(value, on))
                    return false;
                record.*field = on ? 1 : 0;
                return true;
            },
            [=](const KSTASKINFO_LANE& record, std::wstring& value) {
                value = record.*field ? Names::kTrueText : Names::kFalseText;
                return true;
            }};
}

TaskFieldCodec flagBit(const wchar_t* key, uint32_t bit)
{
    return {key,
            [=](const std::wstring& value, KSTASKINFO_LANE& record) {
                bool on = false;
                if (!parseBoolean(value, on))
                    return false;
                record.dwMeteredAccessWise = on ? (record.dwMeteredAccessWise | bit) : (record.dwMeteredAccessWise & ~bit);
                return true;
            },
            [=](const KSTASKINFO_LANE& record, std::wstring& value) {
                value = (record.dwMeteredAccessWise & bit) ? Names::kTrueText : Names::kFalseText;
                return true;
            }};
}

// '0' stands for no day; '1' to '7' are Sunday (bit 0) to Saturday (bit 6).
constexpr uint32_t kAllDaysMask = 0x7F;

TaskFieldCodec dayDigits(const wchar_t* key)
{
    return {key,
            [](const std::wstring& value, KSTASKINFO_LANE& record) {
                uint32_t mask = 0;
                for (wchar_t c : value) {
                    if (c < L'0' || c > L'7')
                        return false;
                    if (c != L'0')
                        mask |= 1u << (c - L'1');
                }
                record.dwDayOfWeekMask = mask;
                return true;
            },
            [](const KSTASKINFO_LANE& record, std::wstring& value) {
                if (record.dwDayOfWeekMask > kAllDaysMask)
                    return false;
                value.clear();
                for (int day = 0; day < 7; ++day) {
                    if (record.dwDayOfWeekMask & (1u << day))
                        value += static_cast<wchar_t>(L'1' + day);
                }
                return true;
            }};
}

std::vector<TaskFieldCodec> buildTable()
{
    return {
        enumeration(L"taskType", &KSTASKINFO::dwTaskType, kTaskTypes),
        enumeration(L"triggerType", &KSTASKINFO::dwTaskTrigType, kTriggerTypes),
        text(L"taskTrigger", &KSTASKINFO::pwszTaskTrigger),
        text(L"cmdParams", &KSTASKINFO::pwszTaskParams),
        text(L"completeEvent", &KSTASKINFO::pwszTaskEventName),
        unsignedNumber(L"nextRun", &KSTASKINFO::dwNextRun),
        unsignedNumber(L"defaultFreq", &KSTASKINFO::dwDefaultFreq),
        boolean(L"batteryWise", &KSTASKINFO::dwBatteryWise),
        flagBit(L"meteredAccessWise", KS_METERED_ACCESS_WISE),
        flagBit(L"metroModeWise", KS_METRO_MODE_WISE),
        flagBit(L"adminWise", KS_ADMIN_WISE),
        flagBit(L"AMTaskExclusionWise", KS_AM_TASK_EXCLUSION_WISE),
        flagBit(L"AMFutureTaskExclusionWise", KS_AM_FUTURE_TASK_EXCLUSION_WISE),
        flagBit(L"longOverdueTaskWise", KS_LONG_OVERDUE_TASK_WISE),
        dayDigits(L"daysOfWeek"),
        enumeration(L"interval", &KSTASKINFO::dwInterval, kIntervals),
        boolean(L"runInUserContext", &KSTASKINFO::dwRunInUserContext),
        unsignedNumber(L"hour", &KSTASKINFO::dwHour),
        unsignedNumber(L"minute", &KSTASKINFO::dwMinute),
        enumeration(L"priority", &KSTASKINFO::nPriority, kPriorities),
        boolean(L"repeat", &KSTASKINFO::dwRepeatTask),
        boolean(L"runWhenIdle", &KSTASKINFO::dwRunWhenIdle),
        text(L"presetCategory", &KSTASKINFO::pwszPresetCategory),
        unsignedNumber(L"presetId", &KSTASKINFO::dwPresetId),
        text(L"userName", &KSTASKINFO::pwszUser),
        text(L"domainName", &KSTASKINFO::pwszDomain),
        boolean(L"runInRetail", &KSTASKINFO::dwRunInRetailMode),
        text(L"appId", &KSTASKINFO::pwszAppid),
        text(L"ruleName", &KSTASKINFO::pwszRuleName),
        unlessZero(unsignedNumber(L"maxRunTime", &KSTASKINFO_LANE::dwMaxRunTime), &KSTASKINFO_LANE::dwMaxRunTime),
        unlessZero(boolean(L"background", &KSTASKINFO_LANE::dwBackground), &KSTASKINFO_LANE::dwBackground),
        unlessZero(unsignedNumber(L"spread", &KSTASKINFO_LANE::dwSpread), &KSTASKINFO_LANE::dwSpread),
    };
}

} // namespace

const std::vector<TaskFieldCodec>& taskFieldTable()
{
    static const std::vector<TaskFieldCodec> table = buildTable();
    return table;
}

} // namespace Orbis
