// Process creation for tasks: in the service's context, or as the interactive user through the
// active session's token or, failing that, the shell's token.
#include "execution/CreateProcessHelper.h"

#include "execution/ProcessEnumeration.h"
#include "execution/ProgramJob.h"
#include "platform/TokenQueries.h"
#include "execution/Win32ApiOwners.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"

#include <cwchar>
#include <vector>

using Keelwork::unique_handle;

namespace {

constexpr DWORD kTokenAdjustPrivileges = 32;   // TOKEN_ADJUST_PRIVILEGES
constexpr DWORD kShellTokenAccess = 15;        // assign primary, duplicate, impersonate, query
constexpr DWORD kUnicodeEnvironment = 0x400;   // CREATE_UNICODE_ENVIRONMENT
constexpr size_t kMaxWorkingDirectory = 260;
constexpr DWORD kNoActiveSession = 0xFFFFFFFE;
constexpr wchar_t kInteractiveDesktop[] = L"winsta0\\default";

const wchar_t* orEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

} // namespace

CCPHelper::CCPHelper() : m_api(std::make_unique<CKsWin32API>()) {}

CCPHelper::CCPHelper(std::unique_ptr<CKsWin32APIBase> api) : m_api(std::move(api)) {}

CCPHelper::~CCPHelper() = default;

std::wstring CCPHelper::WorkingDirectoryOf(const wchar_t* pwszPath)
{
    const wchar_t* lastSlash = pwszPath != nullptr ? std::wcsrchr(pwszPath, L'\\') : nullptr;
    if (lastSlash == nullptr)
        return {};
    size_t length = static_cast<size_t>(lastSlash - pwszPath);
    // The directory is copied into a MAX_PATH buffer, terminator included.
    return std::wstring(pwszPath, length < kMaxWorkingDirectory ? length : kMaxWorkingDirectory - 1);
}

std::wstring CCPHelper::CommandLineOf(const wchar_t* pwszPath, const wchar_t* pwszParams)
{
    bool hasParams = pwszParams != nullptr && *pwszParams != L'\0';
    size_t capacity = std::wcslen(pwszPath) + (hasParams ? std::wcslen(pwszParams) : 0) + 8;
    std::vector<wchar_t> buffer(capacity, L'\0');
    if (hasParams)
        _snwprintf(buffer.data(), capacity - 1, L"\"%s\" %s", pwszPath, pwszParams);
    else
        _snwprintf(buffer.data(), capacity - 1, L"\"%s\"", pwszPath);
    return buffer.data();
}

unique_handle CCPHelper::RunProcess(const wchar_t* pwszPath, const wchar_t* pwszParams, DWORD* pdwError,
                                    DWORD dwContext, const wchar_t* pwszUser, const wchar_t* pwszDomain,
                                    DWORD dwCreationFlags)
{
    return std::move(Start(pwszPath, pwszParams, pdwError, dwContext, pwszUser, pwszDomain, dwCreationFlags, false).process);
}

StartedProgram CCPHelper::Start(const wchar_t* pwszPath, const wchar_t* pwszParams, DWORD* pdwError, DWORD dwContext,
                                const wchar_t* pwszUser, const wchar_t* pwszDomain, DWORD dwCreationFlags,
                                bool background)
{
    m_background = background;
    DWORD ignored = 0;
    DWORD* error = pdwError != nullptr ? pdwError : &ignored;
    *error = 0;
    if (pwszPath == nullptr || *pwszPath == L'\0')
        return {};
    std::wstring workdir = WorkingDirectoryOf(pwszPath);
    std::wstring cmdline = CommandLineOf(pwszPath, pwszParams);
    if (dwContext == 0)
        return _RunProcessNormal(cmdline, error, workdir, dwCreationFlags);
    StartedProgram started = _RunProcessAsUserXP(cmdline, error, workdir, pwszUser, pwszDomain);
    if (!started.process)
        started = _RunProcessAsUserNT(cmdline, error, workdir, pwszUser, pwszDomain);
    return started;
}

DWORD CCPHelper::runStarted(const PROCESS_INFORMATION& pi, StartedProgram& started)
{
    Keelwork::unique_process_information owned;
    owned.adopt(pi);
    if (DWORD error = KsExecution::runInJob(owned, m_background, started.job); error != 0)
        return error;
    started.process = std::move(owned.process);
    started.processId = owned.processId;
    return 0;
}

StartedProgram CCPHelper::_RunProcessNormal(std::wstring& cmdline, DWORD* pdwError, const std::wstring& workdir,
                                            DWORD dwCreationFlags)
{
    if (!m_api->usable(m_api->pCreateProcessW)) {
        *pdwError = ERROR_PROC_NOT_FOUND;
        KSLOG_ERROR(L"Failed to create process (%s). ErrorCode: %u", cmdline.c_str(), *pdwError);
        return {};
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION pi = {};
    // An empty working directory means the service's own. Suspended until it is in its job.
    if (!m_api->pCreateProcessW(nullptr, cmdline.data(), nullptr, nullptr, FALSE, dwCreationFlags | CREATE_SUSPENDED,
                                nullptr, workdir.empty() ? nullptr : workdir.c_str(), &startup, &pi)) {
        *pdwError = ::GetLastError();
        KSLOG_ERROR(L"Failed to create process (%s). ErrorCode: %u", cmdline.c_str(), *pdwError);
        return {};
    }
    StartedProgram started;
    if (DWORD error = runStarted(pi, started); error != 0) {
        *pdwError = error;
        return {};
    }
    KSLOG_NORMAL(L"Successfully created process (%s)", cmdline.c_str());
    *pdwError = 0;
    return started;
}

DWORD CCPHelper::openSelfToken(unique_handle& token)
{
    if (!m_api->usable(m_api->pOpenProcessToken))
        return ERROR_PROC_NOT_FOUND;
    if (!m_api->pOpenProcessToken(::GetCurrentProcess(), kTokenAdjustPrivileges, token.put()))
        return ::GetLastError();
    return 0;
}

StartedProgram CCPHelper::_RunProcessAsUserXP(std::wstring& cmdline, DWORD* pdwError, const std::wstring& workdir,
                                              const wchar_t* user, const wchar_t* domain)
{
    *pdwError = ERROR_INVALID_PARAMETER;
    DWORD sessionId = kNoActiveSession;
    if (DWORD error = _IsActiveOrAdminSessionAvailable(&sessionId, user, domain); error != 0) {
        *pdwError = error;
        KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserXP(): Active Session Is Not Available. GetLastError() returned %d\n",
                    error);
        return {};
    }
    unique_handle selfToken;
    if (DWORD error = openSelfToken(selfToken); error != 0) {
        *pdwError = error;
        KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserXP: OpenProcessToken for SELF failed with error: %u", error);
        return {};
    }
    for (const wchar_t* privilege : {L"SeTcbPrivilege", L"SeAssignPrimaryTokenPrivilege", L"SeIncreaseQuotaPrivilege"}) {
        if (DWORD error = _AdjustPrivilege(selfToken.get(), privilege); error != 0) {
            *pdwError = error;
            KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserNT: _AdjustPrivilege failed with error: %u for %s", error,
                        privilege);
            return {};
        }
    }
    unique_handle userToken;
    if (!m_api->usable(m_api->pWTSQueryUserToken) || !m_api->pWTSQueryUserToken(sessionId, userToken.put())) {
        *pdwError = m_api->usable(m_api->pWTSQueryUserToken) ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        KSLOG_ERROR(L"WTSQueryUserToken failed. Session ID = %d, GetLastError = %d", sessionId, *pdwError);
        return {};
    }
    StartedProgram process;
    if (DWORD error = createProcessWithToken(userToken.get(), cmdline, workdir, process); error != 0) {
        *pdwError = error;
        KSLOG_ERROR(L"CreateProcessAsUser for XP failed. GetLastError = %d", error);
        return {};
    }
    KSLOG_NORMAL(L"Successfully created process (%s) in the current users context", cmdline.c_str());
    *pdwError = 0;
    return process;
}

StartedProgram CCPHelper::_RunProcessAsUserNT(std::wstring& cmdline, DWORD* pdwError, const std::wstring& workdir,
                                              const wchar_t* user, const wchar_t* domain)
{
    DWORD shellPid = 0;
    if (DWORD error = _GetShellPid(&shellPid, user, domain); error != 0) {
        *pdwError = error;
        KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserNT: _GetShellPid returned %u", error);
        return {};
    }
    if (shellPid == 0) {
        KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserNT: _GetShellPid = 0");
        return {};
    }
    unique_handle shell;
    if (m_api->usable(m_api->pOpenProcess))
        shell.reset(m_api->pOpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellPid));
    if (!shell) {
        *pdwError = m_api->usable(m_api->pOpenProcess) ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserNT: Openprocess failed. ErrorCode: %u", *pdwError);
        return {};
    }
    unique_handle shellToken;
    if (!m_api->usable(m_api->pOpenProcessToken) ||
        !m_api->pOpenProcessToken(shell.get(), kShellTokenAccess, shellToken.put())) {
        *pdwError = m_api->usable(m_api->pOpenProcessToken) ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserNT: OpenProcessToken failed with error: %u", *pdwError);
        return {};
    }
    if (!shellToken) {
        *pdwError = ERROR_INVALID_PARAMETER;
        KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserNT: OpenProcessToken returned NULL handle");
        return {};
    }
    unique_handle selfToken;
    if (DWORD error = openSelfToken(selfToken); error != 0) {
        *pdwError = error;
        KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserNT: OpenProcessToken for SELF failed with error: %u", error);
        return {};
    }
    for (const wchar_t* privilege : {L"SeAssignPrimaryTokenPrivilege", L"SeIncreaseQuotaPrivilege"}) {
        if (DWORD error = _AdjustPrivilege(selfToken.get(), privilege); error != 0) {
            *pdwError = error;
            KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserNT: _AdjustPrivilege failed with error: %u for %s", error,
                        privilege);
            return {};
        }
    }
    StartedProgram process;
    if (DWORD error = createProcessWithToken(shellToken.get(), cmdline, workdir, process); error != 0) {
        *pdwError = error;
        KSLOG_ERROR(L"CCPHelper::_RunProcessAsUserNT: CreateProcessAsUser failed. GetLastError = %u", error);
        return {};
    }
    KSLOG_NORMAL(L"Successfully created process (%s) in the current users context", cmdline.c_str());
    *pdwError = 0;
    return process;
}

DWORD CCPHelper::createProcessWithToken(HANDLE token, std::wstring& cmdline, const std::wstring& workdir,
                                         StartedProgram& started)
{
    if (!m_api->usable(m_api->pCreateProcessAsUserW))
        return ERROR_PROC_NOT_FOUND;
    HANDLE profileHandle = nullptr;
    // Declared before the environment so the profile is unloaded after the block is destroyed.
    KsExecution::LoadedProfile profile(*m_api);
    KsExecution::EnvironmentBlock environment(*m_api);
    *environment.put() = _LoadProfileAndEnvironment(token, &profileHandle);
    profile.adopt(token, profileHandle);

    wchar_t desktop[sizeof(kInteractiveDesktop) / sizeof(wchar_t)];
    std::wcscpy(desktop, kInteractiveDesktop);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION pi = {};
    const DWORD flags = kUnicodeEnvironment | CREATE_SUSPENDED | (m_background ? BELOW_NORMAL_PRIORITY_CLASS : 0);
    if (!m_api->pCreateProcessAsUserW(token, nullptr, cmdline.data(), nullptr, nullptr, FALSE, flags,
                                      environment.get(), workdir.empty() ? nullptr : workdir.c_str(), &startup,
                                      &pi))
        return ::GetLastError();
    return runStarted(pi, started);
}

DWORD CCPHelper::_IsActiveOrAdminSessionAvailable(DWORD* pdwSessionId, const wchar_t* user, const wchar_t* domain)
{
    *pdwSessionId = kNoActiveSession;
    KsExecution::WtsMemory<WTS_SESSION_INFOW> sessions(*m_api);
    DWORD count = 0;
    if (!m_api->usable(m_api->pWTSEnumerateSessionsW) ||
        !m_api->pWTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, sessions.put(), &count)) {
        DWORD error = m_api->usable(m_api->pWTSEnumerateSessionsW) ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        KSLOG_ERROR(L"WTSEnumerateSessions failed: GetLastError() returned %d\n", error);
        return error;
    }
    bool anyUser = user == nullptr || *user == L'\0';
    for (DWORD i = 0; i < count; ++i) {
        const WTS_SESSION_INFOW& session = sessions.get()[i];
        if (session.State != WTSActive && session.State != WTSDisconnected)
            continue;
        bool matches = anyUser || sessionMatchesUser(session.SessionId, user, domain);
        if (session.State == WTSActive && matches) {
            KSLOG_NORMAL(L"_IsActiveOrAdminSessionAvailable: Active SessionId = %u, State = %u\n", session.SessionId,
                         static_cast<unsigned>(session.State));
            *pdwSessionId = session.SessionId;
            return 0;
        }
        if (session.State == WTSActive)
            KSLOG_NORMAL(L"WTSActive -- SessionId = %u not matching %s,%s\n", session.SessionId, orEmpty(user),
                         orEmpty(domain));
        else if (!matches)
            KSLOG_NORMAL(L"WTSDisconnected -- SessionId = %u not matching %s,%s\n", session.SessionId, orEmpty(user),
                         orEmpty(domain));
    }
    return ERROR_NO_SUCH_LOGON_SESSION;
}

bool CCPHelper::sessionMatchesUser(DWORD sessionId, const wchar_t* user, const wchar_t* domain)
{
    unique_handle token;
    if (!m_api->usable(m_api->pWTSQueryUserToken) || !m_api->pWTSQueryUserToken(sessionId, token.put()))
        return false;
    KsPlatform::TokenAccount account;
    return KsPlatform::queryTokenAccount(*m_api, token.get(), account) &&
           KsPlatform::accountMatches(account, user, domain);
}

DWORD CCPHelper::_AdjustPrivilege(HANDLE token, const wchar_t* name)
{
    if (token == nullptr || name == nullptr || *name == L'\0')
        return ERROR_INVALID_PARAMETER;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!m_api->usable(m_api->pLookupPrivilegeValueW) ||
        !m_api->pLookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
        DWORD error = m_api->usable(m_api->pLookupPrivilegeValueW) ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        KSLOG_ERROR(L"LookupPrivilegeValue() failed. ErrorCode: %u", error);
        return error;
    }
    if (!m_api->usable(m_api->pAdjustTokenPrivileges) ||
        !m_api->pAdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr)) {
        DWORD error = m_api->usable(m_api->pAdjustTokenPrivileges) ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        KSLOG_ERROR(L"AdjustTokenPrivileges failed. ErrorCode: %u", error);
        return error;
    }
    // The call succeeds even when the token lacks the privilege; only the last error says so.
    const DWORD assigned = ::GetLastError();
    if (assigned == ERROR_NOT_ALL_ASSIGNED) {
        KSLOG_ERROR(L"AdjustTokenPrivileges failed. ErrorCode: %u", assigned);
        return assigned;
    }
    return 0;
}

void* CCPHelper::_LoadProfileAndEnvironment(HANDLE token, HANDLE* phProfile)
{
    *phProfile = nullptr;
    KsPlatform::TokenAccount account;
    bool named = KsPlatform::queryTokenAccount(*m_api, token, account);
    PROFILEINFOW profile = {};
    profile.dwSize = sizeof(profile);
    profile.dwFlags = PI_NOUI;
    profile.lpUserName = named ? account.user.data() : nullptr;
    if (!m_api->usable(m_api->pLoadUserProfileW) || !m_api->pLoadUserProfileW(token, &profile)) {
        DWORD error = m_api->usable(m_api->pLoadUserProfileW) ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        KSLOG_ERROR(L"Could not Load user profile. Error: %d", error);
    } else {
        *phProfile = profile.hProfile;
    }
    void* environment = nullptr;
    if (!m_api->usable(m_api->pCreateEnvironmentBlock) || !m_api->pCreateEnvironmentBlock(&environment, token, FALSE))
        return nullptr;
    return environment;
}
