// IsProcessRunning: a scan of all processes for a program base name.
#include "execution/ProcessRunning.h"

#include "platform/KsWin32API.h"
#include "execution/ProcessEnumeration.h"
#include "logging/internal_logging.h"

#include <cwchar>

namespace KsExecution {

namespace {

bool namesMatch(const std::wstring& baseName, const wchar_t* wanted)
{
    return wanted != nullptr && *wanted != L'\0' && _wcsicmp(baseName.c_str(), wanted) == 0;
}

bool scanProcesses(const CKsWin32APIBase& api, const wchar_t* name1, const wchar_t* name2)
{
    std::vector<DWORD> pids;
    if (DWORD error = listProcessIds(api, pids); error != 0) {
        KSLOG_ERROR(L"EnumProcesses failed. ErrorCode: %u", error);
        return false;
    }
    for (DWORD pid : pids) {
        std::wstring baseName;
        BaseNameStep failedStep = BaseNameStep::OpenProcess;
        if (DWORD error = processBaseName(api, pid, baseName, failedStep); error != 0) {
            KSLOG_ERROR(baseNameFailureFormat(failedStep), pid, error);
            continue;
        }
        if (namesMatch(baseName, name1) || namesMatch(baseName, name2))
            return true;
    }
    return false;
}

} // namespace

bool IsProcessRunning(const CKsWin32APIBase& api, const wchar_t* name1, const wchar_t* name2)
{
    bool running = scanProcesses(api, name1, name2);
    KSLOG_NORMAL(L"bbProcessRunning_p:%d, ", running ? 1 : 0);
    return running;
}

bool IsProcessRunning(const wchar_t* name1, const wchar_t* name2)
{
    CKsWin32API api;
    return IsProcessRunning(api, name1, name2);
}

} // namespace KsExecution
