// Reads of a scheduler-key value that is consulted repeatedly while the engine runs.
#include "engine/SchedulerKeyValues.h"

#include "engine/SchedulerRegistry.h"
#include "registry/RegKey.h"

namespace Keelwork::engine {

uint32_t readIdleWait()
{
    CRegKey key;
    DWORD value = 1;
    if (key.open(HKEY_LOCAL_MACHINE, kSchedulerKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        key.getDwordValue(kIdleWaitValue, value) != ERROR_SUCCESS)
        return 1;
    return value;
}

} // namespace Keelwork::engine
