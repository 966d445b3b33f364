// Schedule presets as stored in the override hives: one calendar rule per preset, grouped by
// category under "TaskSchedulePreset". Used by preset task creation and by the presets request.
#pragma once

#include "common/WinInclude.h"
#include "store/KsTaskInfo.h"

#include <cstdint>
#include <string>
#include <vector>

class KsPartnerCustomizationBase;

namespace Orbis {

struct SchedulePreset {
    std::wstring category;
    uint32_t id = 0;
    std::wstring description;
    uint32_t interval = 0;
    uint32_t dayOfWeekMask = 0;
    uint32_t hour = 0;
    uint32_t minute = 0;
    uint32_t spread = 0;  // seconds; 0 when the preset has none
};

// The active, describable presets of a category, in enumeration order. 0, or the negative error
// of opening the category key (presets left untouched then).
HRESULT loadSchedulePresets(KsPartnerCustomizationBase& customization, const std::wstring& category,
                            std::vector<SchedulePreset>& presets);

// enabled is false only when the category's "EnableTask" exists and is 0. 0, or the negative
// error of opening the category key (enabled stays true).
HRESULT readPresetCategoryEnable(KsPartnerCustomizationBase& customization, const std::wstring& category,
                                 bool& enabled);

// The localized description named by the DWORD valueName of the key opened last, with {DAY}
// and {TIME} filled in from the mask, hour and minute. 0 or a negative error (text cleared).
HRESULT describeSchedulePreset(KsPartnerCustomizationBase& customization, const wchar_t* valueName,
                               std::wstring& text, uint32_t dayOfWeekMask, uint32_t hour, uint32_t minute);

// The first preset with this id, or null.
const SchedulePreset* findSchedulePreset(const std::vector<SchedulePreset>& presets, uint32_t id);

// Makes record follow the preset: type preset, next run 0 (to be computed), the preset's calendar
// fields, category (a new store string; the previous one freed) and id.
void applySchedulePreset(const SchedulePreset& preset, KSTASKINFO& record);

} // namespace Orbis
