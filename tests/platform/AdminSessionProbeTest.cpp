// KsIsActiveSessionNTAdmin: the console session's token and its Administrators group, with the
// session and token functions substituted, and what Wine really answers.
#include "ProbeFakes.h"

#include "LogFileReader.h"
#include "platform/PlatformProbes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

enum class Admin { absent, enabled, filtered };

struct FakeConsole {
    static inline DWORD sessionId = 1;
    static inline bool tokenAvailable = true;
    static inline Admin admin = Admin::absent;

    static DWORD WINAPI activeConsoleSession() { return sessionId; }

    static BOOL WINAPI queryUserToken(ULONG, PHANDLE token)
    {
        if (!tokenAvailable) {
            ::SetLastError(ERROR_NO_TOKEN);
            return FALSE;
        }
        return ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token);
    }

    // Groups: Everyone, then (unless absent) Administrators with the chosen attributes.
    static BOOL WINAPI tokenInformation(HANDLE, TOKEN_INFORMATION_CLASS infoClass, LPVOID buffer, DWORD size,
                                        PDWORD needed)
    {
        if (infoClass != TokenGroups)
            return FALSE;
        static BYTE everyone[SECURITY_MAX_SID_SIZE], administrators[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof(everyone);
        ::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize);
        sidSize = sizeof(administrators);
        ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize);
        DWORD count = admin == Admin::absent ? 1 : 2;
        DWORD required = sizeof(TOKEN_GROUPS) + sizeof(SID_AND_ATTRIBUTES) * count;
        *needed = required;
        if (buffer == nullptr || size < required) {
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        auto* groups = static_cast<TOKEN_GROUPS*>(buffer);
        groups->GroupCount = count;
        groups->Groups[0] = {everyone, SE_GROUP_ENABLED};
        if (admin != Admin::absent) {
            SID_AND_ATTRIBUTES entry = {administrators, admin == Admin::enabled ? DWORD{SE_GROUP_ENABLED}
                                                                                : DWORD{SE_GROUP_USE_FOR_DENY_ONLY}};
            std::memcpy(&groups->Groups[1], &entry, sizeof(entry));
        }
        return TRUE;
    }
};

struct AdminCase {
    DWORD sessionId;
    bool tokenAvailable;
    Admin admin;
    bool expected;
    BOOL filtered;
    const wchar_t* line; // a line that must be logged, or null
};

class ConsoleAdmin : public ::testing::TestWithParam<AdminCase> {};

TEST_P(ConsoleAdmin, EnabledAdministratorsGroupAnswersYes)
{
    FakeConsole::sessionId = GetParam().sessionId;
    FakeConsole::tokenAvailable = GetParam().tokenAvailable;
    FakeConsole::admin = GetParam().admin;
    kstest::FakeProbeServices fake;
    fake.win32->pWTSGetActiveConsoleSessionId = &FakeConsole::activeConsoleSession;
    fake.win32->pWTSQueryUserToken = &FakeConsole::queryUserToken;
    fake.win32->pGetTokenInformation = &FakeConsole::tokenInformation;
    BOOL filtered = 7;
    kstest::LogCapture log;
    EXPECT_EQ(KsIsActiveSessionNTAdmin(&filtered, fake.services()), GetParam().expected);
    EXPECT_EQ(filtered, GetParam().filtered);
    if (GetParam().line) {
        EXPECT_TRUE(log.contains(GetParam().line)) << log.text();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ConsoleAdmin,
    ::testing::Values(AdminCase{1, true, Admin::enabled, true, FALSE, L"Active Console Session Id:1"},
                      AdminCase{2, true, Admin::filtered, false, TRUE, L"Active Console Session Id:2"},
                      AdminCase{1, true, Admin::absent, false, FALSE, nullptr},
                      AdminCase{0xFFFFFFFF, true, Admin::enabled, false, FALSE, L"Invalid Session Id:-1"},
                      AdminCase{1, false, Admin::enabled, false, FALSE, L"WTSQueryUserToken() failed:1008"}));

} // namespace
