// KsIsActiveSessionNTAdmin: whether the console user is an administrator with rights enabled.
#include "platform/PlatformProbes.h"

#include "platform/TokenQueries.h"
#include "logging/internal_logging.h"

bool KsIsActiveSessionNTAdmin(BOOL* pbFilteredAdmin, const KsPlatform::ProbeServices& services)
{
    if (pbFilteredAdmin != nullptr)
        *pbFilteredAdmin = FALSE;
    const CKsWin32APIBase& api = services.win32;
    if (!api.usable(api.pWTSGetActiveConsoleSessionId))
        return false;
    DWORD sessionId = api.pWTSGetActiveConsoleSessionId();
    KSLOG_NORMAL(L"Active Console Session Id:%d", static_cast<int>(sessionId));
    if (sessionId == 0xFFFFFFFF) {
        KSLOG_WARNING(L"Invalid Session Id:%d", static_cast<int>(sessionId));
        return false;
    }
    Keelwork::unique_handle token;
    if (!api.usable(api.pWTSQueryUserToken) || !api.pWTSQueryUserToken(sessionId, token.put())) {
        DWORD error = api.usable(api.pWTSQueryUserToken) ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        KSLOG_WARNING(L"WTSQueryUserToken() failed:%d", static_cast<int>(error));
        return false;
    }
    switch (KsPlatform::queryAdminGroup(api, token.get())) {
    case KsPlatform::AdminGroup::enabled:
        return true;
    case KsPlatform::AdminGroup::filtered:
        if (pbFilteredAdmin != nullptr)
            *pbFilteredAdmin = TRUE;
        return false;
    case KsPlatform::AdminGroup::absent:
        break;
    }
    return false;
}
