// Orbis::TaskManagement::getPresets: the active presets of a category as the preset list.
#include "management/TaskManagement.h"

#include "customization/KsPartnerCustomizationCommon.h"
#include "customization/PresetRegistry.h"
#include "customization/SchedulePresets.h"
#include "message/JSONFormatter.h"

namespace Orbis {

bool TaskManagement::getPresets(const std::wstring& category, std::wstring& text)
{
    KsTaskCustomization customization;
    if (customization.Initialize() != S_OK)
        return false;
    std::vector<SchedulePreset> presets;
    if (loadSchedulePresets(customization, category, presets) != S_OK)
        return false;

    Tessel::JSONFormatter list;
    Tessel::JSONFormatter item;
    for (const SchedulePreset& preset : presets) {
        item.setUInt64(PresetNames::kPresetId, preset.id);
        item.setString(PresetNames::kDescription, preset.description);
        item.setUInt64(PresetNames::kIntervalMember, preset.interval);
        item.setUInt64(PresetNames::kHours, preset.hour);
        item.setUInt64(PresetNames::kMinutes, preset.minute);
        item.setUInt64(PresetNames::kDayOfWeekMaskMember, preset.dayOfWeekMask);
        list.appendObject(PresetNames::kPresets, item);
    }
    text = list.serialize();
    return true;
}

} // namespace Orbis
