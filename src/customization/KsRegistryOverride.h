// KsRegistryOverride: looks a key up in a list of prioritised hives. A key is opened in every
// hive that has it; a value comes from the hive of highest priority that holds it, and that hive
// becomes the active hive (which tells callers whose resource DLL describes the value).
//
// Results are COM-style: S_OK, E_FAIL, E_HANDLE (no key open). Not locked: one object is used by
// one thread at a time.
#pragma once

#include "common/WinInclude.h"
#include "customization/KsHive.h"
#include "registry/RegKey.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

class KsRegistryOverride {
public:
    KsRegistryOverride() = default;
    KsRegistryOverride(const KsRegistryOverride&) = delete;
    KsRegistryOverride& operator=(const KsRegistryOverride&) = delete;

    HRESULT AddHive(const KsRegistryPath& path, uint32_t priority);
    HRESULT OpenKey(const KsRegistryPath& subPath);
    // Same contract as the registry's value query: type, data and size may be null where it allows.
    HRESULT ReadValue(const wchar_t* name, DWORD* type, void* data, DWORD* size);
    // A setting that must be a 4-byte number: S_OK with the value, the lookup's error, or
    // HRESULT_FROM_WIN32(ERROR_INVALID_DATA) for a value of another type or size (value untouched).
    HRESULT ReadDwordValue(const wchar_t* name, uint32_t& value);
    HRESULT EnumerateSubkeys(std::vector<std::wstring>& names);

    // The hive that answered (or was last asked by) the latest ReadValue; null when none.
    const KsHive* GetActiveHive() const noexcept { return m_activeHive ? &*m_activeHive : nullptr; }

    void CloseKeys() noexcept { m_openKeys.clear(); }
    // Closes all keys and forgets every hive.
    void Clear() noexcept;
    // Takes `other`'s hives, with no key open.
    void CopyHives(const KsRegistryOverride& other);

private:
    void sortHivesIfNeeded();

    std::map<KsHive, Keelwork::CRegKey> m_openKeys;
    // Ascending priority once sorted; equal priorities keep the order they were added in.
    std::vector<KsHive> m_hives;
    bool m_needsSorting = false;
    std::optional<KsHive> m_activeHive;
};
