// Protected REG_DWORD / REG_SZ / REG_BINARY values over Keelwork::CRegKey.
#include "store/ProtectedValue.h"

#include "registry/KeyValueSnapshot.h"
#include "registry/RegKey.h"
#include "store/AnsiText.h"

#include <cstring>

namespace KsStore {

namespace {

// Reads the raw blob of a protected value and deciphers it into data. Source is an open key or a
// snapshot of one: both answer queryValue alike.
template <class Source>
uint32_t readProtected(const Source& key, const wchar_t* name, uint32_t logicalType, uint8_t* data,
                       size_t* size)
{
    if (name == nullptr)
        return ERROR_INVALID_PARAMETER;
    AnsiRoundTrip registryName(name);
    uint8_t blob[kMaxProtectedBlobBytes];
    DWORD type = REG_NONE;
    DWORD blobSize = sizeof blob;
    LONG rc = key.queryValue(registryName.c_str(), &type, blob, &blobSize);
    if (rc == ERROR_MORE_DATA)
        return ERROR_INVALID_DATA; // larger than any protected value: not one of ours
    if (rc != ERROR_SUCCESS)
        return static_cast<uint32_t>(rc);
    if (type != REG_BINARY)
        return ERROR_INVALID_DATA;
    return decodeProtectedValue(blob, blobSize, logicalType, data, size);
}

uint32_t writeProtected(Keelwork::CRegKey& key, const wchar_t* name, uint32_t logicalType, const void* data,
                        size_t size)
{
    if (name == nullptr)
        return ERROR_INVALID_PARAMETER;
    uint8_t blob[kMaxProtectedBlobBytes];
    size_t blobSize = encodeProtectedValue(logicalType, data, size, blob);
    if (blobSize == 0)
        return ERROR_INVALID_PARAMETER;
    AnsiRoundTrip registryName(name);
    return static_cast<uint32_t>(key.setValue(registryName.c_str(), REG_BINARY, blob, static_cast<DWORD>(blobSize)));
}

template <class Source>
uint32_t readDword(const Source& key, const wchar_t* name, uint32_t& value)
{
    uint8_t data[kMaxProtectedDataBytes];
    size_t size = 0;
    uint32_t rc = readProtected(key, name, REG_DWORD, data, &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (size != sizeof(uint32_t))
        return ERROR_INVALID_DATA;
    std::memcpy(&value, data, sizeof value);
    return ERROR_SUCCESS;
}

template <class Source>
uint32_t readString(const Source& key, const wchar_t* name, wchar_t* buffer, size_t capacity)
{
    if (buffer == nullptr || capacity == 0)
        return ERROR_INVALID_PARAMETER;
    char data[kMaxProtectedDataBytes];
    size_t size = 0;
    uint32_t rc = readProtected(key, name, REG_SZ, reinterpret_cast<uint8_t*>(data), &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    ansiToWide(data, size, buffer, capacity);
    return ERROR_SUCCESS;
}

} // namespace

uint32_t readProtectedDword(const Keelwork::CRegKey& key, const wchar_t* name, uint32_t& value)
{
    return readDword(key, name, value);
}

uint32_t readProtectedDword(const Keelwork::KeyValueSnapshot& values, const wchar_t* name, uint32_t& value)
{
    return readDword(values, name, value);
}

uint32_t readProtectedString(const Keelwork::CRegKey& key, const wchar_t* name, wchar_t* buffer, size_t capacity)
{
    return readString(key, name, buffer, capacity);
}

uint32_t readProtectedString(const Keelwork::KeyValueSnapshot& values, const wchar_t* name, wchar_t* buffer,
                             size_t capacity)
{
    return readString(values, name, buffer, capacity);
}

uint32_t writeProtectedDword(Keelwork::CRegKey& key, const wchar_t* name, uint32_t value)
{
    return writeProtected(key, name, REG_DWORD, &value, sizeof value);
}

uint32_t writeProtectedString(Keelwork::CRegKey& key, const wchar_t* name, const wchar_t* value)
{
    if (value == nullptr)
        return ERROR_INVALID_PARAMETER;
    char data[kMaxProtectedDataBytes];
    size_t size = wideToAnsi(value, data, sizeof data);
    if (size == 0)
        return ERROR_INVALID_PARAMETER;
    return writeProtected(key, name, REG_SZ, data, size);
}

uint32_t readProtectedBinary(const Keelwork::CRegKey& key, const wchar_t* name, uint8_t* data, size_t& size)
{
    if (data == nullptr)
        return ERROR_INVALID_PARAMETER;
    return readProtected(key, name, REG_BINARY, data, &size);
}

uint32_t writeProtectedBinary(Keelwork::CRegKey& key, const wchar_t* name, const void* data, size_t size)
{
    if (data == nullptr && size != 0)
        return ERROR_INVALID_PARAMETER;
    return writeProtected(key, name, REG_BINARY, data, size);
}

} // namespace KsStore
