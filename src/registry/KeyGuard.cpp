// Judging a key's descriptor and volatility.
#include "registry/KeyGuard.h"

#include "registry/RegKey.h"

namespace Keelwork {
namespace {

// Every right that changes a key, its values, its sub-keys or its descriptor.
constexpr ACCESS_MASK kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                                     WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
// A sub-key name no key of ours holds; one left by an interrupted probe is removed and tried again.
constexpr const wchar_t* kProbeName = L"~VolatilityProbe";

bool isSystemOrAdministrators(PSID sid)
{
    return sid && ::IsValidSid(sid) &&
           (::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
}

// Whether one DACL entry lets someone else than SYSTEM or Administrators in further than allowed.
bool entryTooOpen(const ACE_HEADER* header, KeyReaders readers)
{
    switch (header->AceType) {
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        return false;  // a denial only narrows
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
        const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
        if (isSystemOrAdministrators(const_cast<DWORD*>(&entry->SidStart)))
            return false;
        const ACCESS_MASK forbidden = readers == KeyReaders::anyone ? kWriteRights : ~ACCESS_MASK{0};
        return (entry->Mask & forbidden) != 0;
    }
    default:
        return true;
    }
}

} // namespace

bool isKeyTooOpen(PSECURITY_DESCRIPTOR descriptor, KeyReaders readers)
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !::IsValidSecurityDescriptor(descriptor) ||
        !::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !isSystemOrAdministrators(owner) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return true;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(dacl, index, &entry) || entryTooOpen(static_cast<const ACE_HEADER*>(entry), readers))
            return true;
    }
    return false;
}

LONG queryKeyVolatile(const CRegKey& key, bool& isVolatile)
{
    const REGSAM view = key.access() & (KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    for (int attempt = 0; attempt < 2; ++attempt) {
        HKEY probe = nullptr;
        DWORD disposition = 0;
        const LONG status = ::RegCreateKeyExW(key.get(), kProbeName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                              KEY_QUERY_VALUE | view, nullptr, &probe, &disposition);
        if (status == ERROR_CHILD_MUST_BE_VOLATILE) {
            isVolatile = true;
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS)
            return status;
        ::RegCloseKey(probe);
        const LONG removed = ::RegDeleteKeyExW(key.get(), kProbeName, view, 0);
        if (removed != ERROR_SUCCESS)
            return removed;
        // An existing sub-key was opened whatever the options: it tells nothing yet.
        if (disposition == REG_CREATED_NEW_KEY) {
            isVolatile = false;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_CANTWRITE;  // the leftover came back at once: someone else is making it
}

} // namespace Keelwork
