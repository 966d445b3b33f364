// First start since boot through the volatile "RebootFlag" key.
#include "platform/FirstStartProbe.h"

#include "platform/PlatformNames.h"
#include "platform/PlatformProbes.h"
#include "registry/RegKey.h"

#include <cwchar>

namespace KsPlatform {

bool CFirstStartProbe::compute(bool& firstStart)
{
    Keelwork::CRegKey volatileKey;
    if (volatileKey.create(HKEY_LOCAL_MACHINE, names::kVolatileKey, KEY_READ | KEY_WRITE, REG_OPTION_VOLATILE) !=
        ERROR_SUCCESS)
        return false;
    wchar_t flagPath[MAX_PATH] = {};
    _snwprintf(flagPath, MAX_PATH - 1, L"%s\\%s", names::kVolatileKey, names::kRebootFlagKey);
    Keelwork::CRegKey flagKey;
    DWORD disposition = 0;
    if (flagKey.create(HKEY_LOCAL_MACHINE, flagPath, KEY_READ, REG_OPTION_VOLATILE, &disposition) != ERROR_SUCCESS)
        return false;
    Keelwork::CRegKey zarnKey;
    if (zarnKey.create(HKEY_LOCAL_MACHINE, names::kVolatileZarnKey, KEY_READ, REG_OPTION_VOLATILE) != ERROR_SUCCESS)
        return false;
    firstStart = disposition == REG_CREATED_NEW_KEY;
    return true;
}

bool CFirstStartProbe::IsFirstStart()
{
    std::lock_guard lock(m_lock);
    if (m_known)
        return m_firstStart;
    bool firstStart = false;
    if (!compute(firstStart))
        return false;
    m_firstStart = firstStart;
    m_known = true;
    return m_firstStart;
}

} // namespace KsPlatform

bool IsFirstStartSinceBoot()
{
    static KsPlatform::CFirstStartProbe probe;
    return probe.IsFirstStart();
}
