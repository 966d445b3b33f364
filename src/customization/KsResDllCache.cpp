// Per-hive resource DLLs and the strings loaded from them.
#include "customization/KsResDllCache.h"

#include "customization/ActivePackage.h"
#include "logging/internal_logging.h"

HRESULT KsResDllCache::SetDll(const KsHive& hive, const std::wstring& dllName)
{
    Entry& entry = m_entries[hive];
    if (entry.dllName != dllName)
        entry.locale.reset();
    entry.dllName = dllName;
    return S_OK;
}

HRESULT KsResDllCache::_OpenDll(Entry& entry)
{
    if (entry.locale)
        return S_OK;
    auto locale = std::make_unique<CKsHALOLocale2>();
    DWORD error = locale->Initialize(entry.dllName.c_str());
    if (error != ERROR_SUCCESS) {
        KSLOG_ERROR(L"Couldn't initialize halo local object w. path '%s' (%lu)", entry.dllName.c_str(), error);
        return E_FAIL;
    }
    entry.locale = std::move(locale);
    return S_OK;
}

HRESULT KsResDllCache::LoadString(const KsHive& hive, DWORD id, std::wstring& text)
{
    const uint32_t package = Keelwork::customization::activePackageNumber();
    text.clear();
    auto found = m_entries.find(hive);
    if (found == m_entries.end())
        return S_OK;
    HRESULT hr = _OpenDll(found->second);
    if (FAILED(hr)) {
        KSLOG_ERROR(L"Couldn't open dll (%ld)", hr);
        return E_FAIL;
    }
    wchar_t buffer[MAX_PATH] = {};
    DWORD error = found->second.locale->LoadPkgString(package, id, buffer, MAX_PATH);
    if (error != ERROR_SUCCESS) {
        KSLOG_NORMAL(L"Couldn't load string %lu (%lu)", id, error);
        return E_FAIL;
    }
    text = buffer;
    return S_OK;
}
