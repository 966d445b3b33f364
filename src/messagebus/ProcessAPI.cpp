// ProcessAPI over ProcessIdToSessionId.
#include "messagebus/ProcessAPI.h"

#include "common/WinInclude.h"

namespace Tessel {

bool ProcessAPI::processIdToSessionId(uint32_t processId, uint32_t& sessionId)
{
    DWORD session = 0;
    if (!ProcessIdToSessionId(processId, &session))
        return false;
    sessionId = session;
    return true;
}

uint32_t ProcessAPI::currentProcessId()
{
    return GetCurrentProcessId();
}

} // namespace Tessel
