// Loads the function table of CKsWin32API from the system folder.
#include "platform/KsWin32API.h"

#include <string>

namespace {

Keelwork::unique_hmodule loadSystemLibrary(const wchar_t* name)
{
    wchar_t directory[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    std::wstring path = std::wstring(directory, length) + L"\\" + name;
    return Keelwork::unique_hmodule(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

template <typename Fn>
void resolve(const Keelwork::unique_hmodule& module, const char* name, Fn& slot)
{
    slot = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name))) : nullptr;
}

} // namespace

CKsWin32API::CKsWin32API()
{
    m_bLoaded = loadLibraries();
    resolveFunctions();
}

CKsWin32API::~CKsWin32API() = default;

bool CKsWin32API::loadLibraries()
{
    m_kernel32 = loadSystemLibrary(L"kernel32.dll");
    m_advapi32 = loadSystemLibrary(L"advapi32.dll");
    m_wtsapi32 = loadSystemLibrary(L"wtsapi32.dll");
    m_user32 = loadSystemLibrary(L"user32.dll");
    m_psapi = loadSystemLibrary(L"psapi.dll");
    m_userenv = loadSystemLibrary(L"userenv.dll");
    return m_kernel32 && m_advapi32 && m_wtsapi32 && m_user32 && m_psapi && m_userenv;
}

void CKsWin32API::resolveFunctions()
{
    resolve(m_kernel32, "ProcessIdToSessionId", pProcessIdToSessionId);
    resolve(m_kernel32, "WTSGetActiveConsoleSessionId", pWTSGetActiveConsoleSessionId);
    resolve(m_kernel32, "CreateProcessW", pCreateProcessW);
    resolve(m_kernel32, "OpenProcess", pOpenProcess);
    resolve(m_advapi32, "CreateProcessAsUserW", pCreateProcessAsUserW);
    resolve(m_advapi32, "OpenProcessToken", pOpenProcessToken);
    resolve(m_advapi32, "LookupPrivilegeValueW", pLookupPrivilegeValueW);
    resolve(m_advapi32, "AdjustTokenPrivileges", pAdjustTokenPrivileges);
    resolve(m_advapi32, "LookupAccountSidW", pLookupAccountSidW);
    resolve(m_advapi32, "GetTokenInformation", pGetTokenInformation);
    resolve(m_psapi, "EnumProcesses", pEnumProcesses);
    resolve(m_psapi, "EnumProcessModules", pEnumProcessModules);
    resolve(m_psapi, "GetModuleBaseNameW", pGetModuleBaseNameW);
    resolve(m_wtsapi32, "WTSQueryUserToken", pWTSQueryUserToken);
    resolve(m_wtsapi32, "WTSQuerySessionInformationW", pWTSQuerySessionInformationW);
    resolve(m_wtsapi32, "WTSEnumerateSessionsW", pWTSEnumerateSessionsW);
    resolve(m_wtsapi32, "WTSFreeMemory", pWTSFreeMemory);
    resolve(m_wtsapi32, "WTSEnumerateProcessesW", pWTSEnumerateProcessesW);
    resolve(m_userenv, "LoadUserProfileW", pLoadUserProfileW);
    resolve(m_userenv, "UnloadUserProfile", pUnloadUserProfile);
    resolve(m_userenv, "CreateEnvironmentBlock", pCreateEnvironmentBlock);
    resolve(m_userenv, "DestroyEnvironmentBlock", pDestroyEnvironmentBlock);
}
