// Per-task out-of-box wait from the "taskscheduler_oobe_wait" override key.
#include "engine/TaskOobeWait.h"

#include "engine/SchedulerRegistry.h"
#include "store/TaskName.h"

namespace Keelwork::engine {

TaskOobeWaitOverride::TaskOobeWaitOverride()
{
    m_initialize = m_customization.Initialize();
    if (SUCCEEDED(m_initialize))
        m_open = m_customization.GetRegistryOverride().OpenKey(kTaskOobeWaitOverrideKey);
}

bool TaskOobeWaitOverride::read(const std::wstring& taskName, uint32_t& wait)
{
    if (!available())
        return false;
    // Values are named as task keys are.
    const std::wstring valueName = KsStore::TaskIdentity(taskName).key();
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (FAILED(m_customization.GetRegistryOverride().ReadValue(valueName.c_str(), &type, &value, &size)) ||
        type != REG_DWORD || size != sizeof value)
        return false;
    wait = value;
    return true;
}

uint32_t readTaskOobeWait(const std::wstring& taskName, uint32_t globalOobeWait)
{
    TaskOobeWaitOverride override;
    uint32_t wait = globalOobeWait;
    return override.read(taskName, wait) ? wait : globalOobeWait;
}

} // namespace Keelwork::engine
