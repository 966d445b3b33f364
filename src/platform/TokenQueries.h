// Questions asked of an access token through the function table: whose it is, and whether it
// carries the built-in Administrators group.
#pragma once

#include "platform/KsWin32API.h"

#include <string>

namespace KsPlatform {

struct TokenAccount {
    std::wstring user;
    std::wstring domain;
};

// The account named by the token's user identifier; false when it cannot be read.
bool queryTokenAccount(const CKsWin32APIBase& api, HANDLE token, TokenAccount& account);

// True when `account` is `user` and, when a domain is given, in `domain`; both ignore case.
bool accountMatches(const TokenAccount& account, const wchar_t* user, const wchar_t* domain);

enum class AdminGroup { absent, enabled, filtered };

// Where the built-in Administrators group (S-1-5-32-544) stands among the token's groups;
// `absent` when the groups cannot be read.
AdminGroup queryAdminGroup(const CKsWin32APIBase& api, HANDLE token);

} // namespace KsPlatform
