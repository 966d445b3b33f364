// Finding the interactive user's shell: its program from the logon settings, and the process of
// that program running as the user, whose token a user-context task can start with.
#include "execution/CreateProcessHelper.h"

#include "execution/ProcessEnumeration.h"
#include "execution/Win32ApiOwners.h"
#include "logging/internal_logging.h"
#include "platform/TokenQueries.h"
#include "registry/RegKey.h"

#include <cwchar>
#include <vector>

using Keelwork::unique_handle;

namespace {

constexpr DWORD kShellValueBytes = 1040;
constexpr wchar_t kWinlogonKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

const wchar_t* orEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

} // namespace

DWORD CCPHelper::_GetShellProgram(std::wstring& shell)
{
    Keelwork::CRegKey key;
    if (LONG error = key.open(HKEY_LOCAL_MACHINE, kWinlogonKey, KEY_READ); error != ERROR_SUCCESS) {
        KSLOG_ERROR(L"RegOpenKeyEx(WINLOGIN) failed. ErrorCode: %d", error);
        return static_cast<DWORD>(error);
    }
    wchar_t buffer[kShellValueBytes / sizeof(wchar_t)] = {};
    DWORD chars = static_cast<DWORD>(std::size(buffer));
    if (LONG error = key.getStringBuffer(L"Shell", buffer, &chars); error != ERROR_SUCCESS) {
        KSLOG_ERROR(L"RegQueryValueEx failed. ErrorCode: %d", error);
        return static_cast<DWORD>(error);
    }
    shell = buffer;
    KSLOG_NORMAL(L"The shell program is: %s", shell.c_str());
    return 0;
}

DWORD CCPHelper::getProcessBaseName(DWORD pid, std::wstring& baseName)
{
    KsExecution::BaseNameStep failedStep = KsExecution::BaseNameStep::OpenProcess;
    DWORD error = KsExecution::processBaseName(*m_api, pid, baseName, failedStep);
    if (error != 0)
        KSLOG_NORMAL(KsExecution::baseNameFailureFormat(failedStep), pid, error);
    return error;
}

bool CCPHelper::processMatchesUser(DWORD pid, const wchar_t* user, const wchar_t* domain)
{
    unique_handle process;
    if (m_api->usable(m_api->pOpenProcess))
        process.reset(m_api->pOpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    unique_handle token;
    if (!process || !m_api->usable(m_api->pOpenProcessToken) ||
        !m_api->pOpenProcessToken(process.get(), TOKEN_QUERY, token.put()))
        return false;
    KsPlatform::TokenAccount account;
    return KsPlatform::queryTokenAccount(*m_api, token.get(), account) &&
           KsPlatform::accountMatches(account, user, domain);
}

DWORD CCPHelper::_GetShellPid(DWORD* pdwPid, const wchar_t* user, const wchar_t* domain)
{
    std::wstring shellProgram;
    if (DWORD error = _GetShellProgram(shellProgram); error != 0)
        return error;
    size_t lastSlash = shellProgram.find_last_of(L'\\');
    std::wstring shellName = lastSlash == std::wstring::npos ? shellProgram : shellProgram.substr(lastSlash + 1);
    if (shellName.empty()) {
        KSLOG_ERROR(L"Trying to get PID of the Shell. The shell name is EMPTY");
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<DWORD> pids;
    if (DWORD error = KsExecution::listProcessIds(*m_api, pids); error != 0) {
        KSLOG_ERROR(L"EnumProcesses failed. ErrorCode: %u", error);
        return error;
    }
    bool anyUser = user == nullptr || *user == L'\0';
    for (DWORD pid : pids) {
        std::wstring baseName;
        if (getProcessBaseName(pid, baseName) != 0 || _wcsicmp(baseName.c_str(), shellName.c_str()) != 0)
            continue;
        if (!anyUser && !processMatchesUser(pid, user, domain)) {
            KSLOG_NORMAL(L"Shell PID = %u doesnt match %s,%s", pid, user, orEmpty(domain));
            continue;
        }
        KSLOG_NORMAL(L"The Current Shell PID = %u", pid);
        *pdwPid = pid;
        return 0;
    }
    KSLOG_ERROR(L"Could not find the Shell PID");
    *pdwPid = 0;
    return ERROR_FILE_NOT_FOUND;
}
