// Keelwork::internal::CRegKeyImpl: the open key behind CRegKey and the Win32 calls on it. Every
// typed value operation goes through queryValue/setValue, so a derived implementation can change
// how value data is stored in one place.
#pragma once

#include "common/UniqueHandle.h"
#include "registry/RegKey.h"

#include <string>
#include <vector>

namespace Keelwork::internal {

class CRegKeyImpl {
public:
    CRegKeyImpl() = default;
    CRegKeyImpl(const CRegKeyImpl&) = delete;
    CRegKeyImpl& operator=(const CRegKeyImpl&) = delete;
    virtual ~CRegKeyImpl() = default;

    // Storage of value data.
    virtual LONG queryValue(const wchar_t* name, DWORD* type, void* data, DWORD* size) const;
    virtual LONG setValue(const wchar_t* name, DWORD type, const void* data, DWORD size);

    // Typed values (RegKeyValues.cpp).
    LONG setGuidValue(const wchar_t* name, const GUID& value);
    LONG setDwordValue(const wchar_t* name, DWORD value);
    LONG setQwordValue(const wchar_t* name, ULONGLONG value);
    LONG setStringValue(const wchar_t* name, const wchar_t* value, DWORD type);
    LONG setMultiStringValue(const wchar_t* name, const std::vector<std::wstring>& values);
    LONG getGuidValue(const wchar_t* name, GUID& value) const;
    LONG getBinaryValue(const wchar_t* name, std::vector<BYTE>& value) const;
    LONG getDwordValue(const wchar_t* name, DWORD& value) const;
    LONG getQwordValue(const wchar_t* name, ULONGLONG& value) const;
    LONG getStringValue(const wchar_t* name, std::wstring& value, DWORD* type) const;
    LONG getStringBuffer(const wchar_t* name, wchar_t* buffer, DWORD* chars) const;
    LONG getMultiStringValue(const wchar_t* name, std::vector<std::wstring>& values) const;

    // Security (RegSecurity.cpp).
    LONG getKeySecurity(SECURITY_INFORMATION info, std::vector<BYTE>& descriptor) const;
    LONG setKeySecurity(SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor);
    static LONG buildSecurityDescriptor(std::vector<BYTE>& descriptor);
    LONG createSystemOnly(HKEY root, const wchar_t* path, REGSAM access, DWORD* disposition, DWORD options);

    // The key itself.
    LONG create(HKEY root, const wchar_t* path, REGSAM access, DWORD options, DWORD* disposition);
    LONG open(HKEY root, const wchar_t* path, REGSAM access);
    LONG flush();
    LONG enumSubKey(DWORD index, std::wstring& name) const;
    LONG enumSubKeys(std::vector<std::wstring>& names) const;
    LONG enumValues(std::vector<RegValue>& values) const;
    LONG notifyChange(bool watchSubtree, DWORD filter, HANDLE event, bool asynchronous);
    LONG deleteSubKey(const wchar_t* subKey);
    LONG deleteSubKeyTree(const wchar_t* subKey);
    LONG deleteValue(const wchar_t* name);

    bool isOpen() const noexcept { return m_key.valid(); }
    void close() noexcept;
    HKEY get() const noexcept { return m_key.get(); }
    REGSAM access() const noexcept { return m_access; }

private:
    // Whole value data of one of the accepted types; loops while the value grows under us.
    LONG readData(const wchar_t* name, std::initializer_list<DWORD> acceptedTypes,
                  std::vector<BYTE>& data, DWORD* storedType) const;

    unique_hkey m_key;
    REGSAM m_access = 0;
};

} // namespace Keelwork::internal
