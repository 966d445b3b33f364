// Keelwork::CRegKey: the one registry key class the system uses. Owns one open key and returns
// a Windows error code from every operation.
//
// Contracts shared by all operations:
// - A key that is not open answers ERROR_INVALID_HANDLE (6).
// - A typed read whose stored type (or, for fixed-size types, size) differs from the one asked
//   for answers ERROR_INVALID_DATA (13) and leaves the out-parameter untouched. A missing value
//   answers ERROR_FILE_NOT_FOUND (2).
// - Strings read from the registry need not be NUL-terminated there; every string read is
//   bounded by the stored size and terminated here.
// - Sub-key deletion uses the registry view (KEY_WOW64_64KEY / KEY_WOW64_32KEY) the key was
//   opened or created with.
// Move-only; not safe for concurrent use of one object from several threads.
#pragma once

#include "common/WinInclude.h"

#include <memory>
#include <string>
#include <vector>

namespace Keelwork {

namespace internal {
class CRegKeyImpl;
}

// One value of a key as enumValues finds it.
struct RegValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class CRegKey {
public:
    CRegKey();
    CRegKey(CRegKey&& other) noexcept;
    CRegKey& operator=(CRegKey&& other) noexcept;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Virtual operations, in their fixed slot order.
    virtual ~CRegKey();                                                                        // 0
    virtual LONG queryValue(const wchar_t* name, DWORD* type, void* data, DWORD* size) const;  // 1
    virtual LONG setValue(const wchar_t* name, DWORD type, const void* data, DWORD size);      // 2
    virtual LONG setGuidValue(const wchar_t* name, const GUID& value);                         // 3
    virtual LONG setBinaryValue(const wchar_t* name, const void* data, DWORD size);            // 4
    virtual LONG setDwordValue(const wchar_t* name, DWORD value);                              // 5
    virtual LONG setQwordValue(const wchar_t* name, ULONGLONG value);                          // 6
    // type is REG_SZ or REG_EXPAND_SZ; anything else answers ERROR_INVALID_PARAMETER.
    virtual LONG setStringValue(const wchar_t* name, const wchar_t* value, DWORD type = REG_SZ); // 7
    // An empty string inside the list cannot be stored (it would end the list): ERROR_INVALID_PARAMETER.
    virtual LONG setMultiStringValue(const wchar_t* name, const std::vector<std::wstring>& values); // 8
    // A stored text that is not a GUID answers ERROR_INVALID_DATA.
    virtual LONG getGuidValue(const wchar_t* name, GUID& value) const;                         // 9
    virtual LONG getBinaryValue(const wchar_t* name, std::vector<BYTE>& value) const;          // 10
    virtual LONG getDwordValue(const wchar_t* name, DWORD& value) const;                       // 11
    virtual LONG getQwordValue(const wchar_t* name, ULONGLONG& value) const;                   // 12
    // Accepts REG_SZ and REG_EXPAND_SZ (no expansion); the stored type goes to *type when asked.
    virtual LONG getStringValue(const wchar_t* name, std::wstring& value, DWORD* type = nullptr) const; // 13
    // *chars in: buffer capacity in characters, terminator included. On success the text is
    // terminated and *chars is its length without the terminator; on ERROR_MORE_DATA *chars is
    // the capacity needed, terminator included, and the buffer holds nothing useful.
    virtual LONG getStringBuffer(const wchar_t* name, wchar_t* buffer, DWORD* chars) const;   // 14
    virtual LONG getMultiStringValue(const wchar_t* name, std::vector<std::wstring>& values) const; // 15
    // The descriptor comes back self-relative.
    virtual LONG getKeySecurity(SECURITY_INFORMATION info, std::vector<BYTE>& descriptor) const; // 16
    virtual LONG setKeySecurity(SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor);   // 17
    // Closes the current key first. access carries the view flag (KEY_WOW64_64KEY) when wanted.
    virtual LONG create(HKEY root, const wchar_t* path, REGSAM access,
                        DWORD options = REG_OPTION_NON_VOLATILE, DWORD* disposition = nullptr); // 18
    virtual LONG open(HKEY root, const wchar_t* path, REGSAM access);                          // 19
    virtual LONG flush();                                                                      // 20
    // ERROR_NO_MORE_ITEMS past the last sub-key.
    virtual LONG enumSubKey(DWORD index, std::wstring& name) const;                            // 21
    virtual LONG notifyChange(bool watchSubtree, DWORD filter, HANDLE event, bool asynchronous); // 22
    // Deletes one sub-key that has no sub-keys of its own (the registry refuses otherwise).
    virtual LONG deleteSubKey(const wchar_t* subKey);                                          // 23
    virtual LONG enumSubKeys(std::vector<std::wstring>& names) const;                          // 24
    virtual LONG deleteValue(const wchar_t* name);                                             // 25
    // A self-relative descriptor for keys that only the system may change: owner
    // Administrators; protected DACL granting full control to SYSTEM and to Administrators,
    // inherited by sub-keys; nobody else. Does not depend on the open key.
    virtual LONG buildSecurityDescriptor(std::vector<BYTE>& descriptor) const;                 // 26

    // Not part of the slot table.
    bool isOpen() const noexcept;
    void close() noexcept;
    // The open key, still owned by this object; null when closed.
    HKEY get() const noexcept;
    // The access mask the key was opened or created with.
    REGSAM access() const noexcept;
    // Deletes a sub-key with everything below it, in the key's view.
    LONG deleteSubKeyTree(const wchar_t* subKey);
    // Creates or opens a key like create(); a key it creates carries the descriptor of
    // buildSecurityDescriptor() from the start. The handle also holds WRITE_DAC and WRITE_OWNER.
    // `options` applies to a key it creates (REG_OPTION_VOLATILE: gone when the machine restarts).
    LONG createSystemOnly(HKEY root, const wchar_t* path, REGSAM access, DWORD* disposition = nullptr,
                          DWORD options = REG_OPTION_NON_VOLATILE);
    // Every value of the key with its data as stored, in the registry's order.
    LONG enumValues(std::vector<RegValue>& values) const;

protected:
    explicit CRegKey(std::unique_ptr<internal::CRegKeyImpl> impl) noexcept;
    internal::CRegKeyImpl* impl() const noexcept { return m_impl.get(); }

private:
    std::unique_ptr<internal::CRegKeyImpl> m_impl;
};

} // namespace Keelwork
