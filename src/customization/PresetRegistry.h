// Names of the schedule presets: their registry layout in the override hives and the members of
// the preset list a presets request is answered with.
#pragma once

#include <cstdint>

namespace Orbis::PresetNames {

// Relative to each override hive: <kPresetRoot>\<category>\<decimal id>.
inline constexpr const wchar_t* kPresetRoot = L"TaskSchedulePreset";

// Category key: 0 makes tasks created from the category's presets start disabled.
inline constexpr const wchar_t* kEnableTask = L"EnableTask";

// Preset key values, all REG_DWORD, read in this order.
inline constexpr const wchar_t* kActive = L"Active";
inline constexpr const wchar_t* kInterval = L"Interval";
inline constexpr const wchar_t* kDayOfWeekMask = L"DayOfWeekMask";
inline constexpr const wchar_t* kHour = L"Hour";
inline constexpr const wchar_t* kMinute = L"Minute";
inline constexpr const wchar_t* kDescriptionResId = L"DescriptionResId";
// Optional: the spread, in seconds, a task created from the preset takes unless it gives its own.
inline constexpr const wchar_t* kSpread = L"Spread";

// Description placeholders and the string ids of the week-day names (Sunday first).
inline constexpr const wchar_t* kDayPlaceholder = L"{DAY}";
inline constexpr const wchar_t* kTimePlaceholder = L"{TIME}";
inline constexpr uint32_t kFirstDayNameId = 9200;
// Used when the user's locale gives no time picture.
inline constexpr const wchar_t* kFallbackTimePicture = L"hh:mm tt";

// The preset list.
inline constexpr const wchar_t* kPresets = L"presets";
inline constexpr const wchar_t* kPresetId = L"presetid";
inline constexpr const wchar_t* kDescription = L"description";
inline constexpr const wchar_t* kIntervalMember = L"interval";
inline constexpr const wchar_t* kHours = L"hours";
inline constexpr const wchar_t* kMinutes = L"minutes";
inline constexpr const wchar_t* kDayOfWeekMaskMember = L"dayofweekmask";

} // namespace Orbis::PresetNames
