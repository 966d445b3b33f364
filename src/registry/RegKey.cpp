// CRegKey forwards each operation to its implementation; a moved-from key acts as a closed one.
#include "registry/RegKey.h"

#include "registry/RegKeyImpl.h"

namespace Keelwork {

CRegKey::CRegKey() : m_impl(std::make_unique<internal::CRegKeyImpl>()) {}

CRegKey::CRegKey(std::unique_ptr<internal::CRegKeyImpl> impl) noexcept : m_impl(std::move(impl)) {}

CRegKey::CRegKey(CRegKey&& other) noexcept = default;
CRegKey& CRegKey::operator=(CRegKey&& other) noexcept = default;
CRegKey::~CRegKey() = default;

LONG CRegKey::queryValue(const wchar_t* name, DWORD* type, void* data, DWORD* size) const
{
    return m_impl ? m_impl->queryValue(name, type, data, size) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::setValue(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    return m_impl ? m_impl->setValue(name, type, data, size) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::setGuidValue(const wchar_t* name, const GUID& value)
{
    return m_impl ? m_impl->setGuidValue(name, value) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::setBinaryValue(const wchar_t* name, const void* data, DWORD size)
{
    return m_impl ? m_impl->setValue(name, REG_BINARY, data, size) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::setDwordValue(const wchar_t* name, DWORD value)
{
    return m_impl ? m_impl->setDwordValue(name, value) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::setQwordValue(const wchar_t* name, ULONGLONG value)
{
    return m_impl ? m_impl->setQwordValue(name, value) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::setStringValue(const wchar_t* name, const wchar_t* value, DWORD type)
{
    return m_impl ? m_impl->setStringValue(name, value, type) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::setMultiStringValue(const wchar_t* name, const std::vector<std::wstring>& values)
{
    return m_impl ? m_impl->setMultiStringValue(name, values) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::getGuidValue(const wchar_t* name, GUID& value) const
{
    return m_impl ? m_impl->getGuidValue(name, value) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::getBinaryValue(const wchar_t* name, std::vector<BYTE>& value) const
{
    return m_impl ? m_impl->getBinaryValue(name, value) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::getDwordValue(const wchar_t* name, DWORD& value) const
{
    return m_impl ? m_impl->getDwordValue(name, value) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::getQwordValue(const wchar_t* name, ULONGLONG& value) const
{
    return m_impl ? m_impl->getQwordValue(name, value) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::getStringValue(const wchar_t* name, std::wstring& value, DWORD* type) const
{
    return m_impl ? m_impl->getStringValue(name, value, type) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::getStringBuffer(const wchar_t* name, wchar_t* buffer, DWORD* chars) const
{
    return m_impl ? m_impl->getStringBuffer(name, buffer, chars) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::getMultiStringValue(const wchar_t* name, std::vector<std::wstring>& values) const
{
    return m_impl ? m_impl->getMultiStringValue(name, values) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::getKeySecurity(SECURITY_INFORMATION info, std::vector<BYTE>& descriptor) const
{
    return m_impl ? m_impl->getKeySecurity(info, descriptor) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::setKeySecurity(SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor)
{
    return m_impl ? m_impl->setKeySecurity(info, descriptor) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::create(HKEY root, const wchar_t* path, REGSAM access, DWORD options, DWORD* disposition)
{
    return m_impl ? m_impl->create(root, path, access, options, disposition) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::open(HKEY root, const wchar_t* path, REGSAM access)
{
    return m_impl ? m_impl->open(root, path, access) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::flush()
{
    return m_impl ? m_impl->flush() : ERROR_INVALID_HANDLE;
}

LONG CRegKey::enumSubKey(DWORD index, std::wstring& name) const
{
    return m_impl ? m_impl->enumSubKey(index, name) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::notifyChange(bool watchSubtree, DWORD filter, HANDLE event, bool asynchronous)
{
    return m_impl ? m_impl->notifyChange(watchSubtree, filter, event, asynchronous) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::deleteSubKey(const wchar_t* subKey)
{
    return m_impl ? m_impl->deleteSubKey(subKey) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::enumSubKeys(std::vector<std::wstring>& names) const
{
    return m_impl ? m_impl->enumSubKeys(names) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::deleteValue(const wchar_t* name)
{
    return m_impl ? m_impl->deleteValue(name) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::buildSecurityDescriptor(std::vector<BYTE>& descriptor) const
{
    return internal::CRegKeyImpl::buildSecurityDescriptor(descriptor);
}

LONG CRegKey::createSystemOnly(HKEY root, const wchar_t* path, REGSAM access, DWORD* disposition, DWORD options)
{
    return m_impl ? m_impl->createSystemOnly(root, path, access, disposition, options) : ERROR_INVALID_HANDLE;
}

LONG CRegKey::enumValues(std::vector<RegValue>& values) const
{
    return m_impl ? m_impl->enumValues(values) : ERROR_INVALID_HANDLE;
}

bool CRegKey::isOpen() const noexcept
{
    return m_impl && m_impl->isOpen();
}

void CRegKey::close() noexcept
{
    if (m_impl)
        m_impl->close();
}

HKEY CRegKey::get() const noexcept
{
    return m_impl ? m_impl->get() : nullptr;
}

REGSAM CRegKey::access() const noexcept
{
    return m_impl ? m_impl->access() : 0;
}

LONG CRegKey::deleteSubKeyTree(const wchar_t* subKey)
{
    return m_impl ? m_impl->deleteSubKeyTree(subKey) : ERROR_INVALID_HANDLE;
}

} // namespace Keelwork
