// Schedule presets read through the override hives: the category's presets, its enable setting
// and each preset's localized description.
#include "customization/SchedulePresets.h"

#include "customization/KsPartnerCustomizationCommon.h"
#include "logging/internal_logging.h"
#include "customization/PresetDescriptionText.h"
#include "customization/PresetRegistry.h"

#include <cwchar>

// The description belongs to the partner customization's vocabulary: its lines carry that
// class's source and function, wherever the code lives.
#define KS_PRESET_DESCRIPTION_LOG(level, ...)                                                          \
    do {                                                                                               \
        if (::ETWLogging::isLogEnabled(level))                                                         \
            ::ETWLogging::writeLog((level), "KsPartnerCustomizationCommon.cpp",                        \
                                   "KsPartnerCustomizationBase::GetPresetDescriptionString", __LINE__, \
                                   __VA_ARGS__);                                                       \
    } while (0)

namespace Orbis {
namespace {

constexpr uint32_t kWeekDays = 7;

std::wstring categoryPath(const std::wstring& category)
{
    return std::wstring(PresetNames::kPresetRoot) + L"\\" + category;
}

// The sub-key name as an unsigned decimal number, up to its first non-digit.
uint32_t presetIdOf(const std::wstring& keyName)
{
    return static_cast<uint32_t>(std::wcstoul(keyName.c_str(), nullptr, 10));
}

uint32_t lowestWeekDay(uint32_t dayOfWeekMask)
{
    for (uint32_t day = 0; day < kWeekDays; ++day) {
        if (dayOfWeekMask & (1u << day))
            return day;
    }
    return 0;
}

// Reads the values of the preset key opened last, stopping at the first that is missing; false
// then, and for a preset that is not active.
bool readActivePreset(KsRegistryOverride& registry, SchedulePreset& preset)
{
    uint32_t active = 0;
    return SUCCEEDED(registry.ReadDwordValue(PresetNames::kActive, active)) &&
           SUCCEEDED(registry.ReadDwordValue(PresetNames::kInterval, preset.interval)) &&
           SUCCEEDED(registry.ReadDwordValue(PresetNames::kDayOfWeekMask, preset.dayOfWeekMask)) &&
           SUCCEEDED(registry.ReadDwordValue(PresetNames::kHour, preset.hour)) &&
           SUCCEEDED(registry.ReadDwordValue(PresetNames::kMinute, preset.minute)) && active != 0;
}

// The optional values: absent ones leave their defaults and keep the preset.
void readPresetOptions(KsRegistryOverride& registry, SchedulePreset& preset)
{
    if (FAILED(registry.ReadDwordValue(PresetNames::kSpread, preset.spread)))
        preset.spread = 0;
}

} // namespace

HRESULT loadSchedulePresets(KsPartnerCustomizationBase& customization, const std::wstring& category,
                            std::vector<SchedulePreset>& presets)
{
    KsRegistryOverride& registry = customization.GetRegistryOverride();
    const std::wstring categoryKey = categoryPath(category);
    HRESULT hr = registry.OpenKey(categoryKey);
    if (FAILED(hr))
        return hr;
    std::vector<std::wstring> keyNames;
    hr = registry.EnumerateSubkeys(keyNames);
    presets.clear();
    if (FAILED(hr))
        return hr;

    for (const std::wstring& keyName : keyNames) {
        if (FAILED(registry.OpenKey(categoryKey + L"\\" + keyName)))
            continue;
        SchedulePreset preset;
        preset.category = category;
        preset.id = presetIdOf(keyName);
        if (!readActivePreset(registry, preset))
            continue;
        if (FAILED(describeSchedulePreset(customization, PresetNames::kDescriptionResId, preset.description,
                                          preset.dayOfWeekMask, preset.hour, preset.minute)))
            continue;
        readPresetOptions(registry, preset);
        presets.push_back(std::move(preset));
    }
    return S_OK;
}

HRESULT readPresetCategoryEnable(KsPartnerCustomizationBase& customization, const std::wstring& category,
                                 bool& enabled)
{
    enabled = true;
    KsRegistryOverride& registry = customization.GetRegistryOverride();
    HRESULT hr = registry.OpenKey(categoryPath(category));
    if (FAILED(hr))
        return hr;
    uint32_t enableTask = 1;
    if (SUCCEEDED(registry.ReadDwordValue(PresetNames::kEnableTask, enableTask)) && enableTask == 0)
        enabled = false;
    return S_OK;
}

HRESULT describeSchedulePreset(KsPartnerCustomizationBase& customization, const wchar_t* valueName,
                               std::wstring& text, uint32_t dayOfWeekMask, uint32_t hour, uint32_t minute)
{
    KsRegistryOverride& registry = customization.GetRegistryOverride();
    uint32_t stringId = 0;
    HRESULT hr = registry.ReadDwordValue(valueName, stringId);
    if (FAILED(hr)) {
        KS_PRESET_DESCRIPTION_LOG(ETWLogging::LOG_LEVEL_ERROR, L"Couldn't get value '%s' (%ld)", valueName, hr);
        return hr;
    }
    // The hive that held the id also holds the strings it refers to.
    const KsHive* hive = registry.GetActiveHive();
    if (!hive) {
        KS_PRESET_DESCRIPTION_LOG(ETWLogging::LOG_LEVEL_ERROR, L"Can't determine hive for given value");
        text.clear();
        return E_FAIL;
    }
    const KsHive describing = *hive;

    std::wstring description;
    std::wstring day;
    const DWORD dayId = PresetNames::kFirstDayNameId + lowestWeekDay(dayOfWeekMask);
    DWORD failedId = stringId;
    hr = customization.GetResDllCache().LoadString(describing, stringId, description);
    if (SUCCEEDED(hr)) {
        failedId = dayId;
        hr = customization.GetResDllCache().LoadString(describing, dayId, day);
    }
    if (FAILED(hr)) {
        KS_PRESET_DESCRIPTION_LOG(ETWLogging::LOG_LEVEL_NORMAL, L"Couldn't load string %lu (%ld)", failedId, hr);
        text.clear();
        return hr;
    }
    text = fillPresetDescription(std::move(description), day, formatPresetTime(hour, minute));
    return S_OK;
}

const SchedulePreset* findSchedulePreset(const std::vector<SchedulePreset>& presets, uint32_t id)
{
    for (const SchedulePreset& preset : presets) {
        if (preset.id == id)
            return &preset;
    }
    return nullptr;
}

void applySchedulePreset(const SchedulePreset& preset, KSTASKINFO& record)
{
    record.dwTaskType = KS_TASK_PRESET;
    record.dwNextRun = 0;
    record.dwDayOfWeekMask = preset.dayOfWeekMask;
    record.dwInterval = preset.interval;
    record.dwHour = preset.hour;
    record.dwMinute = preset.minute;
    KsStore::replaceString(record.pwszPresetCategory, preset.category.c_str());
    record.dwPresetId = preset.id;
}

} // namespace Orbis
