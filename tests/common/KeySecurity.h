// What a registry key's descriptor allows, seen as a test sees it: its DACL as text, and a key
// opened as a user who is no administrator.
#pragma once

#include "common/UniqueHandle.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>

namespace kstest {

// The DACL (or other `parts`) of the key at `path` under HKEY_LOCAL_MACHINE, in SDDL; empty when
// it cannot be read.
inline std::wstring daclText(const wchar_t* path, SECURITY_INFORMATION parts = DACL_SECURITY_INFORMATION)
{
    Keelwork::unique_hkey key;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* sddl = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, READ_CONTROL, key.put()) != ERROR_SUCCESS ||
        GetSecurityInfo(key.get(), SE_REGISTRY_KEY, parts, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return L"";
    const Keelwork::unique_hlocal owner(descriptor);
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &sddl, nullptr))
        return L"";
    const Keelwork::unique_hlocal sddlOwner(sddl);
    return sddl;
}

// Opens `path` (for reading unless told) as a member of Users and Everyone who is no
// administrator: the open's result, or ERROR_CANNOT_IMPERSONATE when such a user cannot be made.
inline LONG openAsNonAdministrator(const wchar_t* path, REGSAM access = KEY_READ)
{
    Keelwork::unique_handle process, restricted, impersonation;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof administrators;
    SID_AND_ATTRIBUTES denyOnly{administrators, 0};
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, process.put()) ||
        !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize) ||
        !CreateRestrictedToken(process.get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr, restricted.put()) ||
        !DuplicateToken(restricted.get(), SecurityImpersonation, impersonation.put()) ||
        !SetThreadToken(nullptr, impersonation.get()))
        return ERROR_CANNOT_IMPERSONATE;
    Keelwork::unique_hkey asUser;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, asUser.put());
    SetThreadToken(nullptr, nullptr);
    return opened;
}

} // namespace kstest
