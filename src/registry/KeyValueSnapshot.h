// Keelwork::KeyValueSnapshot: every value of one open key, read at once, then queried by name the
// way CRegKey::queryValue answers. A record of some twenty values costs one round trip per value
// present instead of one per name asked, present or not.
//
// When the key cannot be listed, each query goes to the key itself, so the answers never depend
// on whether the listing worked. The key must outlive the snapshot.
#pragma once

#include "registry/RegKey.h"

#include <vector>

namespace Keelwork {

class KeyValueSnapshot {
public:
    explicit KeyValueSnapshot(const CRegKey& key);

    // As CRegKey::queryValue: ERROR_FILE_NOT_FOUND for a missing value, ERROR_MORE_DATA (with the
    // size needed in *size) when data is too small, data may be null to learn the size.
    LONG queryValue(const wchar_t* name, DWORD* type, void* data, DWORD* size) const;

private:
    const CRegKey& m_key;
    bool m_listed = false;
    std::vector<RegValue> m_values;
};

} // namespace Keelwork
