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

LONG CRegKeyImpl::createSystemOnly(HKEY root, const wchar_t* path, REGSAM access, DWORD* disposition, DWORD options)
{
    access |= WRITE_DAC | WRITE_OWNER;
    // The usual case, a key that is there, needs no descriptor.
    LONG status = open(root, path, access);
    if (status != ERROR_FILE_NOT_FOUND) {
        if (status == ERROR_SUCCESS && disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
        return status;
    }
    std::vector<BYTE> descriptor;
    status = buildSecurityDescriptor(descriptor);
    if (status != ERROR_SUCCESS)
        return status;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.data(), FALSE};
    DWORD created = 0;
    status = ::RegCreateKeyExW(root, path, 0, nullptr, options, access, &attributes, m_key.put(),
                               &created);
    if (status != ERROR_SUCCESS)
        return status;
    // Given at creation, the descriptor leaves no moment in which others may open the new key.
    // A registry that does not apply it there (Wine's does not) gets it set once more here;
    // a new key that cannot take it is removed, or it would keep the wrong one for good.
    if (created == REG_CREATED_NEW_KEY) {
        status = ::RegSetKeySecurity(m_key.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                     descriptor.data());
        if (status != ERROR_SUCCESS) {
            close();
            ::RegDeleteKeyExW(root, path, access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY), 0);
            return status;
        }
    }
    m_access = access;
    if (disposition)
        *disposition = created;
    return ERROR_SUCCESS;
}

} // namespace Keelwork::internal
