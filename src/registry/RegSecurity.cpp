// Key security: reading and writing a key's descriptor, and the descriptor for system-only keys.
#include "registry/RegKeyImpl.h"

#include <sddl.h>

namespace Keelwork::internal {

namespace {
// Owner Administrators; protected DACL (nothing inherited from the parent): SYSTEM and
// Administrators get full control, for this key and every sub-key created below it.
constexpr const wchar_t* kSystemOnlyKeySddl = L"O:BAD:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";
} // namespace

LONG CRegKeyImpl::getKeySecurity(SECURITY_INFORMATION info, std::vector<BYTE>& descriptor) const
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    DWORD size = 0;
    LONG status = ::RegGetKeySecurity(m_key.get(), info, nullptr, &size);
    for (int attempt = 0; status == ERROR_INSUFFICIENT_BUFFER && attempt < 4; ++attempt) {
        std::vector<BYTE> buffer(size);
        status = ::RegGetKeySecurity(m_key.get(), info, buffer.data(), &size);
        if (status == ERROR_SUCCESS) {
            buffer.resize(size);
            descriptor = std::move(buffer);
        }
    }
    return status;
}

LONG CRegKeyImpl::setKeySecurity(SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor)
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    if (!descriptor)
        return ERROR_INVALID_PARAMETER;
    return ::RegSetKeySecurity(m_key.get(), info, descriptor);
}

LONG CRegKeyImpl::buildSecurityDescriptor(std::vector<BYTE>& descriptor)
{
    PSECURITY_DESCRIPTOR built = nullptr;
    ULONG size = 0;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kSystemOnlyKeySddl, SDDL_REVISION_1, &built, &size))
        return static_cast<LONG>(::GetLastError());
    unique_hlocal owner(built);
    const BYTE* bytes = static_cast<const BYTE*>(built);
    descriptor.assign(bytes, bytes + size);
    return ERROR_SUCCESS;
}

} // namespace Keelwork::internal
