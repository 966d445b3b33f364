// CKsWin32API: the table of session, token, process and profile functions that process creation
// and the session probes call, resolved by name from libraries in the system folder. Tests build
// a table of their own (a copy of the real one with entries replaced) to substitute single calls.
#pragma once

#include "common/UniqueHandle.h"

#include <psapi.h>
#include <userenv.h>
#include <wtsapi32.h>

// Every entry may be null: a function that could not be resolved is a failure of the step that
// needs it (see usable()).
class CKsWin32APIBase {
public:
    CKsWin32APIBase() = default;
    CKsWin32APIBase(const CKsWin32APIBase&) = default;
    CKsWin32APIBase& operator=(const CKsWin32APIBase&) = default;
    virtual ~CKsWin32APIBase() = default;

    // True when the table was loaded and `fn` was resolved.
    template <typename Fn>
    bool usable(Fn fn) const noexcept { return m_bLoaded && fn != nullptr; }

    bool m_bLoaded = false;

    // kernel32
    decltype(&::ProcessIdToSessionId) pProcessIdToSessionId = nullptr;
    decltype(&::WTSGetActiveConsoleSessionId) pWTSGetActiveConsoleSessionId = nullptr;
    decltype(&::CreateProcessW) pCreateProcessW = nullptr;
    decltype(&::OpenProcess) pOpenProcess = nullptr;
    // advapi32
    decltype(&::CreateProcessAsUserW) pCreateProcessAsUserW = nullptr;
    decltype(&::OpenProcessToken) pOpenProcessToken = nullptr;
    decltype(&::LookupPrivilegeValueW) pLookupPrivilegeValueW = nullptr;
    decltype(&::AdjustTokenPrivileges) pAdjustTokenPrivileges = nullptr;
    decltype(&::LookupAccountSidW) pLookupAccountSidW = nullptr;
    decltype(&::GetTokenInformation) pGetTokenInformation = nullptr;
    // psapi
    decltype(&::EnumProcesses) pEnumProcesses = nullptr;
    decltype(&::EnumProcessModules) pEnumProcessModules = nullptr;
    decltype(&::GetModuleBaseNameW) pGetModuleBaseNameW = nullptr;
    // wtsapi32
    decltype(&::WTSQueryUserToken) pWTSQueryUserToken = nullptr;
    decltype(&::WTSQuerySessionInformationW) pWTSQuerySessionInformationW = nullptr;
    decltype(&::WTSEnumerateSessionsW) pWTSEnumerateSessionsW = nullptr;
    decltype(&::WTSFreeMemory) pWTSFreeMemory = nullptr;
    decltype(&::WTSEnumerateProcessesW) pWTSEnumerateProcessesW = nullptr;
    // userenv
    decltype(&::LoadUserProfileW) pLoadUserProfileW = nullptr;
    decltype(&::UnloadUserProfile) pUnloadUserProfile = nullptr;
    decltype(&::CreateEnvironmentBlock) pCreateEnvironmentBlock = nullptr;
    decltype(&::DestroyEnvironmentBlock) pDestroyEnvironmentBlock = nullptr;
};

// The production table. Loads kernel32, advapi32, wtsapi32, user32, psapi and userenv from the
// system folder only (never from the application or current folder), and frees them on
// destruction. user32 is held for the window-station and desktop functions of the wider suite;
// nothing here calls them.
class CKsWin32API final : public CKsWin32APIBase {
public:
    CKsWin32API();
    ~CKsWin32API() override;
    CKsWin32API(const CKsWin32API&) = delete;
    CKsWin32API& operator=(const CKsWin32API&) = delete;

private:
    bool loadLibraries();
    void resolveFunctions();

    Keelwork::unique_hmodule m_kernel32;
    Keelwork::unique_hmodule m_advapi32;
    Keelwork::unique_hmodule m_wtsapi32;
    Keelwork::unique_hmodule m_user32;
    Keelwork::unique_hmodule m_psapi;
    Keelwork::unique_hmodule m_userenv;
};
