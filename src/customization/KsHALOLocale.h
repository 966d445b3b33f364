// CKsHALOLocale2: loads localized strings from the product's resource DLL, preferring the copy
// in the folder of the user's UI language, with package-specific variants and the company name
// filled in.
#pragma once

#include "common/UniqueHandle.h"
#include "common/WinInclude.h"

#include <string>

class CKsHALOLocale2 {
public:
    // resDllPath: full path of the resource DLL; null or empty takes the product's registered one.
    // Returns 0 or a Windows error (3 for a path without a folder).
    DWORD Initialize(const wchar_t* resDllPath);

    // Loads string `id` into buffer (size in characters). With a package number and an id whose
    // high word is an offset, the package's own string is tried first. Returns 0 or a Windows error.
    DWORD LoadPkgString(DWORD pkg, DWORD id, wchar_t* buffer, DWORD size);

    bool isInitialized() const noexcept { return m_initialized; }

private:
    DWORD loadString(UINT id, wchar_t* buffer, DWORD size);
    DWORD stringModule(HMODULE& module);
    void replaceCompanyName(wchar_t* buffer, DWORD size);

    bool m_initialized = false;
    std::wstring m_resDllPath;
    Keelwork::unique_hmodule m_localizedDll;
    Keelwork::unique_hmodule m_uiDll;
    // The DLL at the resource path itself, loaded on first use when no localized copy exists.
    Keelwork::unique_hmodule m_resDll;
};
