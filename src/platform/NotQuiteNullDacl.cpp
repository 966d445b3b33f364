// The Everyone access list: deny DELETE and WRITE_DAC, then allow everything else.
#include "platform/NotQuiteNullDacl.h"

#include <aclapi.h>

namespace {

constexpr DWORD kDeniedMask = DELETE | WRITE_DAC;  // 0x50000
constexpr DWORD kAllowedMask = GENERIC_ALL;         // 0x10000000

} // namespace

bool NotQuiteNullDacl::Create()
{
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, m_everyone.put())) {
        m_lastError = ::GetLastError();
        return false;
    }
    // The list's 8-byte header, and two entries of 8 bytes each plus the identifier.
    const DWORD size = 2 * ::GetLengthSid(m_everyone.get()) + 24;
    m_acl.reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!m_acl) {
        m_lastError = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    // The denial comes first: the system reads the entries in order.
    if (!::InitializeAcl(acl(), size, ACL_REVISION) ||
        !::AddAccessDeniedAce(acl(), ACL_REVISION, kDeniedMask, m_everyone.get()) ||
        !::AddAccessAllowedAce(acl(), ACL_REVISION, kAllowedMask, m_everyone.get())) {
        m_lastError = ::GetLastError();
        return false;
    }
    return true;
}

DWORD NotQuiteNullDacl::ApplyTo(HANDLE object, bool& built)
{
    NotQuiteNullDacl dacl;
    built = dacl.Create();
    if (!built)
        return dacl.lastError();
    return ::SetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl.acl(),
                             nullptr);
}
