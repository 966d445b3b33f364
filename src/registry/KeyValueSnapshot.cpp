// KeyValueSnapshot: one listing of a key's values, answered by name.
#include "registry/KeyValueSnapshot.h"

#include <cstring>

namespace Keelwork {

KeyValueSnapshot::KeyValueSnapshot(const CRegKey& key) : m_key(key)
{
    m_listed = key.enumValues(m_values) == ERROR_SUCCESS;
}

LONG KeyValueSnapshot::queryValue(const wchar_t* name, DWORD* type, void* data, DWORD* size) const
{
    if (!m_listed)
        return m_key.queryValue(name, type, data, size);
    const wchar_t* wanted = name != nullptr ? name : L"";
    for (const RegValue& value : m_values) {
        // Value names compare as the registry compares them: ordinal, case folded.
        if (::CompareStringOrdinal(value.name.c_str(), -1, wanted, -1, TRUE) != CSTR_EQUAL)
            continue;
        if (type != nullptr)
            *type = value.type;
        if (size == nullptr)
            return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
        const DWORD stored = static_cast<DWORD>(value.data.size());
        const DWORD room = *size;
        *size = stored;
        if (data == nullptr)
            return ERROR_SUCCESS;
        if (room < stored)
            return ERROR_MORE_DATA;
        if (stored != 0)
            std::memcpy(data, value.data.data(), stored);
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

} // namespace Keelwork
