// KsResDllCache: the resource DLL recorded for each hive, opened on first use, from which that
// hive's localized strings are loaded.
#pragma once

#include "common/WinInclude.h"
#include "customization/KsHALOLocale.h"
#include "customization/KsHive.h"

#include <map>
#include <memory>
#include <string>

// <windows.h> maps LoadString to LoadStringW; this class's method keeps its own name.
#ifdef LoadString
#undef LoadString
#endif

class KsResDllCache {
public:
    HRESULT SetDll(const KsHive& hive, const std::wstring& dllName);
    // A hive without a recorded DLL gives an empty text and S_OK.
    HRESULT LoadString(const KsHive& hive, DWORD id, std::wstring& text);
    void Clear() noexcept { m_entries.clear(); }

private:
    struct Entry {
        std::wstring dllName;
        std::unique_ptr<CKsHALOLocale2> locale;
    };
    HRESULT _OpenDll(Entry& entry);

    std::map<KsHive, Entry> m_entries;
};
