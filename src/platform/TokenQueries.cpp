// Reads the user and the groups of an access token.
#include "platform/TokenQueries.h"

#include <vector>

namespace KsPlatform {

namespace {

// The token information of one class, in a buffer sized by a first probing call.
std::vector<BYTE> tokenInformation(const CKsWin32APIBase& api, HANDLE token, TOKEN_INFORMATION_CLASS infoClass)
{
    if (!api.usable(api.pGetTokenInformation) || token == nullptr)
        return {};
    DWORD size = 0;
    api.pGetTokenInformation(token, infoClass, nullptr, 0, &size);
    if (size == 0)
        return {};
    std::vector<BYTE> buffer(size);
    if (!api.pGetTokenInformation(token, infoClass, buffer.data(), size, &size))
        return {};
    return buffer;
}

} // namespace

bool queryTokenAccount(const CKsWin32APIBase& api, HANDLE token, TokenAccount& account)
{
    std::vector<BYTE> buffer = tokenInformation(api, token, TokenUser);
    if (buffer.empty() || !api.usable(api.pLookupAccountSidW))
        return false;
    auto* tokenUser = reinterpret_cast<TOKEN_USER*>(buffer.data());
    wchar_t user[256] = {};
    wchar_t domain[256] = {};
    DWORD userChars = 256;
    DWORD domainChars = 256;
    SID_NAME_USE use;
    if (!api.pLookupAccountSidW(nullptr, tokenUser->User.Sid, user, &userChars, domain, &domainChars, &use))
        return false;
    account.user = user;
    account.domain = domain;
    return true;
}

bool accountMatches(const TokenAccount& account, const wchar_t* user, const wchar_t* domain)
{
    if (user == nullptr || _wcsicmp(account.user.c_str(), user) != 0)
        return false;
    return domain == nullptr || *domain == L'\0' || _wcsicmp(account.domain.c_str(), domain) == 0;
}

AdminGroup queryAdminGroup(const CKsWin32APIBase& api, HANDLE token)
{
    std::vector<BYTE> buffer = tokenInformation(api, token, TokenGroups);
    if (buffer.empty())
        return AdminGroup::absent;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                    0, 0, 0, &administrators))
        return AdminGroup::absent;
    AdminGroup result = AdminGroup::absent;
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (::EqualSid(groups->Groups[i].Sid, administrators)) {
            result = (groups->Groups[i].Attributes & SE_GROUP_ENABLED) ? AdminGroup::enabled : AdminGroup::filtered;
            break;
        }
    }
    ::FreeSid(administrators);
    return result;
}

} // namespace KsPlatform
