// Per-task out-of-box wait from the "taskscheduler_oobe_wait" override key.
#include "engine/TaskOobeWait.h"

#include "customization/KsPartnerCustomizationCommon.h"
#include "engine/SchedulerRegistry.h"

namespace Keelwork::engine {

uint32_t readTaskOobeWait(const std::wstring& taskName, uint32_t globalOobeWait)
{
    std::wstring valueName = taskName;
    for (wchar_t& c : valueName) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    // A fresh object, so partner overrides installed since the engine started are seen.
    KsZARNPartnerCustomization customization;
    if (FAILED(customization.Initialize()))
        return globalOobeWait;
    KsRegistryOverride& lookup = customization.GetRegistryOverride();
    if (FAILED(lookup.OpenKey(kTaskOobeWaitOverrideKey)))
        return globalOobeWait;
    DWORD type = REG_NONE;
    DWORD wait = 0;
    DWORD size = sizeof wait;
    if (FAILED(lookup.ReadValue(valueName.c_str(), &type, &wait, &size)) || type != REG_DWORD || size != sizeof wait)
        return globalOobeWait;
    return wait;
}

} // namespace Keelwork::engine
