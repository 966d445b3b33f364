// The key's life cycle, raw values, enumeration, deletion and change notification.
#include "registry/RegKeyImpl.h"

#include <algorithm>

namespace Keelwork::internal {

namespace {
// Longest key name the registry allows, plus the terminator.
constexpr DWORD kMaxKeyNameChars = 256;
constexpr REGSAM kViewFlags = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
constexpr DWORD kFirstReadBytes = 256;
// A value that keeps growing between our calls is given up on after this many reads.
constexpr int kReadAttempts = 8;
} // namespace

LONG CRegKeyImpl::queryValue(const wchar_t* name, DWORD* type, void* data, DWORD* size) const
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    return ::RegQueryValueExW(m_key.get(), name, nullptr, type, static_cast<BYTE*>(data), size);
}

LONG CRegKeyImpl::setValue(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    return ::RegSetValueExW(m_key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

LONG CRegKeyImpl::readData(const wchar_t* name, std::initializer_list<DWORD> acceptedTypes,
                           std::vector<BYTE>& data, DWORD* storedType) const
{
    const auto accepted = [&](DWORD type) {
        return std::find(acceptedTypes.begin(), acceptedTypes.end(), type) != acceptedTypes.end();
    };
    // Most values fit the first guess, which saves the size query round trip.
    std::vector<BYTE> buffer(kFirstReadBytes);
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(buffer.size());
        LONG status = queryValue(name, &type, buffer.data(), &size);
        if (status == ERROR_MORE_DATA) {
            if (!accepted(type))
                return ERROR_INVALID_DATA;
            // The value may grow again before the next call; the loop then retries.
            buffer.resize(size);
            continue;
        }
        if (status != ERROR_SUCCESS)
            return status;
        if (!accepted(type))
            return ERROR_INVALID_DATA;
        buffer.resize(size);
        data = std::move(buffer);
        if (storedType)
            *storedType = type;
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

LONG CRegKeyImpl::create(HKEY root, const wchar_t* path, REGSAM access, DWORD options, DWORD* disposition)
{
    close();
    LONG status = ::RegCreateKeyExW(root, path, 0, nullptr, options, access, nullptr, m_key.put(), disposition);
    if (status == ERROR_SUCCESS)
        m_access = access;
    return status;
}

LONG CRegKeyImpl::open(HKEY root, const wchar_t* path, REGSAM access)
{
    close();
    LONG status = ::RegOpenKeyExW(root, path, 0, access, m_key.put());
    if (status == ERROR_SUCCESS)
        m_access = access;
    return status;
}

void CRegKeyImpl::close() noexcept
{
    m_key.reset();
    m_access = 0;
}

LONG CRegKeyImpl::flush()
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    return ::RegFlushKey(m_key.get());
}

LONG CRegKeyImpl::enumSubKey(DWORD index, std::wstring& name) const
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    wchar_t buffer[kMaxKeyNameChars];
    DWORD chars = kMaxKeyNameChars;
    LONG status = ::RegEnumKeyExW(m_key.get(), index, buffer, &chars, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS)
        name.assign(buffer, std::min<DWORD>(chars, kMaxKeyNameChars - 1));
    return status;
}

LONG CRegKeyImpl::enumSubKeys(std::vector<std::wstring>& names) const
{
    std::vector<std::wstring> found;
    for (DWORD index = 0;; ++index) {
        std::wstring name;
        LONG status = enumSubKey(index, name);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return status;
        found.push_back(std::move(name));
    }
    names = std::move(found);
    return ERROR_SUCCESS;
}

LONG CRegKeyImpl::enumValues(std::vector<RegValue>& values) const
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    // Sized from the key's own longest name and data; a value that grew since is a reason to size
    // again, a few times at most.
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD count = 0, longestName = 0, longestData = 0;
        LONG status = ::RegQueryInfoKeyW(m_key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                         &longestName, &longestData, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            return status;
        std::vector<wchar_t> name(longestName + 1);
        std::vector<BYTE> data(std::max<DWORD>(longestData, 1));
        std::vector<RegValue> found;
        found.reserve(count);
        for (DWORD index = 0;; ++index) {
            DWORD chars = static_cast<DWORD>(name.size());
            DWORD size = static_cast<DWORD>(data.size());
            DWORD type = REG_NONE;
            status = ::RegEnumValueW(m_key.get(), index, name.data(), &chars, nullptr, &type, data.data(), &size);
            if (status != ERROR_SUCCESS)
                break;
            found.push_back(RegValue{std::wstring(name.data(), std::min<size_t>(chars, name.size() - 1)), type,
                                     std::vector<BYTE>(data.begin(), data.begin() + std::min<size_t>(size, data.size()))});
        }
        if (status == ERROR_NO_MORE_ITEMS) {
            values = std::move(found);
            return ERROR_SUCCESS;
        }
        if (status != ERROR_MORE_DATA)
            return status;
    }
    return ERROR_MORE_DATA;
}

LONG CRegKeyImpl::notifyChange(bool watchSubtree, DWORD filter, HANDLE event, bool asynchronous)
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    return ::RegNotifyChangeKeyValue(m_key.get(), watchSubtree ? TRUE : FALSE, filter, event,
                                     asynchronous ? TRUE : FALSE);
}

LONG CRegKeyImpl::deleteSubKey(const wchar_t* subKey)
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    if (!subKey || !*subKey)
        return ERROR_INVALID_PARAMETER;
    return ::RegDeleteKeyExW(m_key.get(), subKey, m_access & kViewFlags, 0);
}

LONG CRegKeyImpl::deleteSubKeyTree(const wchar_t* subKey)
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    if (!subKey || !*subKey)
        return ERROR_INVALID_PARAMETER;
    // RegDeleteTreeW has no view parameter; open the sub-key in our view, empty it (its values too,
    // which takes the right to set them), then delete it.
    unique_hkey child;
    LONG status = ::RegOpenKeyExW(m_key.get(), subKey, 0, KEY_READ | KEY_SET_VALUE | DELETE | (m_access & kViewFlags),
                                  child.put());
    if (status != ERROR_SUCCESS)
        return status;
    status = ::RegDeleteTreeW(child.get(), nullptr);
    child.reset();
    if (status != ERROR_SUCCESS)
        return status;
    return ::RegDeleteKeyExW(m_key.get(), subKey, m_access & kViewFlags, 0);
}

LONG CRegKeyImpl::deleteValue(const wchar_t* name)
{
    if (!isOpen())
        return ERROR_INVALID_HANDLE;
    return ::RegDeleteValueW(m_key.get(), name);
}

} // namespace Keelwork::internal
