// Lookups of keys, values and sub-keys across the prioritised override hives.
#include "customization/KsRegistryOverride.h"

#include "logging/internal_logging.h"

#include <algorithm>
#include <set>

HRESULT KsRegistryOverride::AddHive(const KsRegistryPath& path, uint32_t priority)
{
    KsHive hive;
    hive.root = HKEY_LOCAL_MACHINE;
    hive.path = path;
    hive.priority = priority;
    hive.inUse = 1;
    m_hives.push_back(std::move(hive));
    m_needsSorting = true;
    return S_OK;
}

void KsRegistryOverride::Clear() noexcept
{
    m_openKeys.clear();
    m_hives.clear();
    m_needsSorting = false;
    m_activeHive.reset();
}

void KsRegistryOverride::CopyHives(const KsRegistryOverride& other)
{
    Clear();
    m_hives = other.m_hives;
    m_needsSorting = other.m_needsSorting;
}

void KsRegistryOverride::sortHivesIfNeeded()
{
    if (!m_needsSorting)
        return;
    std::stable_sort(m_hives.begin(), m_hives.end(),
                     [](const KsHive& a, const KsHive& b) { return a.priority < b.priority; });
    m_needsSorting = false;
}

HRESULT KsRegistryOverride::OpenKey(const KsRegistryPath& subPath)
{
    m_openKeys.clear();
    sortHivesIfNeeded();
    for (auto hive = m_hives.rbegin(); hive != m_hives.rend(); ++hive) {
        Keelwork::CRegKey key;
        KsRegistryPath full = hive->path.Joined(subPath);
        if (key.open(hive->root, full.c_str(), KEY_READ | KEY_WOW64_64KEY) == ERROR_SUCCESS)
            m_openKeys[*hive] = std::move(key);
    }
    if (m_openKeys.empty()) {
        KSLOG_NORMAL(L"Couldn't open key '%s' in any hives", subPath.c_str());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT KsRegistryOverride::ReadDwordValue(const wchar_t* name, uint32_t& value)
{
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof data;
    HRESULT hr = ReadValue(name, &type, &data, &size);
    if (FAILED(hr))
        return hr;
    // A short string fits the buffer too; only a real DWORD counts.
    if (type != REG_DWORD || size != sizeof data)
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    value = data;
    return S_OK;
}

HRESULT KsRegistryOverride::ReadValue(const wchar_t* name, DWORD* type, void* data, DWORD* size)
{
    if (m_openKeys.empty())
        return E_HANDLE;
    m_activeHive.reset();
    // A failed query may rewrite *size (ERROR_MORE_DATA); every hive is asked with the caller's size.
    const DWORD requestedSize = size ? *size : 0;
    bool tried = false;
    LONG lastError = ERROR_SUCCESS;
    for (auto hive = m_hives.rbegin(); hive != m_hives.rend(); ++hive) {
        if (hive->inUse == 0)
            continue;
        auto key = m_openKeys.find(*hive);
        if (key == m_openKeys.end())
            continue;
        m_activeHive = *hive;
        tried = true;
        if (size)
            *size = requestedSize;
        lastError = key->second.queryValue(name, type, data, size);
        if (lastError == ERROR_SUCCESS)
            return S_OK;
    }
    if (tried) {
        KSLOG_NORMAL(L"Failed to read value '%s' from hive (%ld)", name, lastError);
        return E_FAIL;
    }
    KSLOG_ERROR(L"Couldn't find an active hive");
    return E_FAIL;
}

HRESULT KsRegistryOverride::EnumerateSubkeys(std::vector<std::wstring>& names)
{
    if (m_openKeys.empty()) {
        KSLOG_ERROR(L"No key open to enumerate");
        return E_HANDLE;
    }
    // wchar_t compares as an unsigned 16-bit unit here, so the set's order is the ordinal one.
    std::set<std::wstring> unique;
    for (const auto& [hive, key] : m_openKeys) {
        std::wstring name;
        for (DWORD index = 0; key.enumSubKey(index, name) == ERROR_SUCCESS; ++index) {
            if (name.size() > MAX_PATH)
                name.resize(MAX_PATH);
            unique.insert(name);
        }
    }
    names.assign(unique.begin(), unique.end());
    return S_OK;
}
