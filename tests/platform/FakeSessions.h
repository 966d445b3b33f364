// A session list and token source for user-context starts: the tests name the sessions and
// their users; the token handed out is this process's own, so the start really happens.
#pragma once

#include "RealApiTable.h"

#include "common/WinInclude.h"

#include <wtsapi32.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kstest {

// What the substituted session and account functions answer; set by each test.
struct FakeSessions {
    static inline std::vector<WTS_SESSION_INFOW> sessions;
    static inline std::map<DWORD, std::wstring> userOfSession;
    static inline std::wstring userOfAnyToken;  // used when not empty
    static inline DWORD lastTokenSession = 0xFFFFFFFF;
    static inline int listsHandedOut = 0;
    static inline int listsFreed = 0;

    static void reset()
    {
        sessions.clear();
        userOfSession.clear();
        userOfAnyToken.clear();
        lastTokenSession = 0xFFFFFFFF;
        listsHandedOut = listsFreed = 0;
    }

    static BOOL WINAPI enumerate(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW* list, DWORD* count)
    {
        auto* copy = new WTS_SESSION_INFOW[sessions.size() + 1];
        std::copy(sessions.begin(), sessions.end(), copy);
        *list = copy;
        *count = static_cast<DWORD>(sessions.size());
        ++listsHandedOut;
        return TRUE;
    }

    static void WINAPI freeMemory(PVOID memory)
    {
        delete[] static_cast<WTS_SESSION_INFOW*>(memory);
        ++listsFreed;
    }

    // Hands out this process's own token, remembering which session was asked for.
    static BOOL WINAPI queryUserToken(ULONG session, PHANDLE token)
    {
        lastTokenSession = session;
        return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, token);
    }

    // The service's own token holds the privileges a start in another session needs, as the system
    // account's does; this test program's token under Wine does not.
    static BOOL WINAPI adjustPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)
    {
        ::SetLastError(ERROR_SUCCESS);
        return TRUE;
    }

    static BOOL WINAPI lookupAccount(LPCWSTR, PSID, LPWSTR name, LPDWORD nameChars, LPWSTR domain,
                                     LPDWORD domainChars, PSID_NAME_USE use)
    {
        std::wstring user = !userOfAnyToken.empty() ? userOfAnyToken : userOfSession[lastTokenSession];
        wcsncpy(name, user.c_str(), *nameChars);
        wcsncpy(domain, L"KS", *domainChars);
        *use = SidTypeUser;
        return TRUE;
    }
};

inline std::unique_ptr<CKsWin32APIBase> tableWithFakeSessions()
{
    auto table = kstest::realApiTableCopy();
    table->pWTSEnumerateSessionsW = &FakeSessions::enumerate;
    table->pWTSFreeMemory = &FakeSessions::freeMemory;
    table->pWTSQueryUserToken = &FakeSessions::queryUserToken;
    table->pLookupAccountSidW = &FakeSessions::lookupAccount;
    table->pAdjustTokenPrivileges = &FakeSessions::adjustPrivileges;
    return table;
}

inline WTS_SESSION_INFOW session(DWORD id, WTS_CONNECTSTATE_CLASS state)
{
    WTS_SESSION_INFOW info = {};
    info.SessionId = id;
    info.State = state;
    return info;
}

} // namespace kstest
