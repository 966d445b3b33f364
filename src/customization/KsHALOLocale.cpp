// Resource DLL string loading: localized DLL lookup, package strings, company-name placeholder.
#include "customization/KsHALOLocale.h"

#include "customization/CustomizationRegistry.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"

#include <cwchar>

using namespace Keelwork::customization;

namespace {

// Everything up to and including the last backslash; empty for a bare file name.
std::wstring folderOf(const std::wstring& path)
{
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

HMODULE loadResourceLibrary(const std::wstring& path)
{
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

DWORD leadingDecimal(const wchar_t* text)
{
    DWORD number = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text)
        number = number * 10 + static_cast<DWORD>(*text - L'0');
    return number;
}

} // namespace

DWORD CKsHALOLocale2::Initialize(const wchar_t* resDllPath)
{
    bool pathGiven = resDllPath != nullptr && *resDllPath != L'\0';
    if (pathGiven && std::wcschr(resDllPath, L'\\') == nullptr)
        return ERROR_PATH_NOT_FOUND;

    Keelwork::CRegKey key;
    LONG rc = key.open(HKEY_LOCAL_MACHINE, kApplicationInfoZarnKey, KEY_READ | KEY_WOW64_64KEY);
    if (rc != ERROR_SUCCESS)
        return static_cast<DWORD>(rc);
    wchar_t registeredResDll[MAX_PATH] = {};
    wchar_t uiDll[MAX_PATH] = {};
    DWORD chars = MAX_PATH;
    if ((rc = key.getStringBuffer(kResDllValue, registeredResDll, &chars)) != ERROR_SUCCESS)
        return static_cast<DWORD>(rc);
    chars = MAX_PATH;
    if ((rc = key.getStringBuffer(kUiDllValue, uiDll, &chars)) != ERROR_SUCCESS)
        return static_cast<DWORD>(rc);

    m_resDllPath = pathGiven ? resDllPath : registeredResDll;
    m_resDll.reset();
    std::wstring localized = folderOf(m_resDllPath);
    if (!localized.empty())
        localized += std::to_wstring(GetUserDefaultUILanguage()) + L"\\";
    localized += kLocalizedResDllName;
    m_localizedDll.reset(loadResourceLibrary(localized));
    m_uiDll.reset(loadResourceLibrary(folderOf(uiDll) + kUiDllName));
    m_initialized = true;
    return ERROR_SUCCESS;
}

DWORD CKsHALOLocale2::stringModule(HMODULE& module)
{
    if (!m_initialized) {
        KSLOG_ERROR(L"Initialize not called.");
        return ERROR_NOT_READY;
    }
    if (m_localizedDll) {
        module = m_localizedDll.get();
        return ERROR_SUCCESS;
    }
    if (!m_resDll) {
        m_resDll.reset(loadResourceLibrary(m_resDllPath));
        if (!m_resDll) {
            DWORD error = GetLastError();
            KSLOG_ERROR(L"Loadlibrary for resource dll failed. Error:%d", error);
            return error;
        }
    }
    module = m_resDll.get();
    return ERROR_SUCCESS;
}

DWORD CKsHALOLocale2::loadString(UINT id, wchar_t* buffer, DWORD size)
{
    if (buffer == nullptr || size == 0)
        return ERROR_INVALID_PARAMETER;
    buffer[0] = L'\0';
    HMODULE module = nullptr;
    if (DWORD error = stringModule(module); error != ERROR_SUCCESS)
        return error;
    if (LoadStringW(module, id, buffer, static_cast<int>(size)) > 0)
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    buffer[0] = L'\0';
    return error != ERROR_SUCCESS ? error : ERROR_RESOURCE_NAME_NOT_FOUND;
}

DWORD CKsHALOLocale2::LoadPkgString(DWORD pkg, DWORD id, wchar_t* buffer, DWORD size)
{
    const DWORD offset = id >> 16;
    if (pkg != 0 && offset != 0) {
        wchar_t base[32] = {};
        DWORD resId = 0;
        DWORD ret = loadString(pkg, base, ARRAYSIZE(base));
        if (ret == ERROR_SUCCESS) {
            DWORD baseId = leadingDecimal(base);
            // A package entry that is not a number names no strings of its own.
            resId = baseId + offset;
            ret = baseId != 0 ? loadString(resId, buffer, size) : ERROR_INVALID_DATA;
        }
        KSLOG_NORMAL(L"LoadPkgString dwPkgId=%d wBase=%s dwResID=%d dwRet=%d", pkg, base, resId, ret);
        if (ret == ERROR_SUCCESS) {
            KSLOG_NORMAL(L"LoadPkgString 1 dwResID=%d lpwBuffer=%s", resId, buffer);
            replaceCompanyName(buffer, size);
            return ERROR_SUCCESS;
        }
    }
    DWORD ret = loadString(id & 0xFFFF, buffer, size);
    KSLOG_NORMAL(L"LoadPkgString lpwBuffer=%s", buffer != nullptr ? buffer : L"");
    if (ret != ERROR_SUCCESS)
        return ret;
    replaceCompanyName(buffer, size);
    return ERROR_SUCCESS;
}

void CKsHALOLocale2::replaceCompanyName(wchar_t* buffer, DWORD size)
{
    std::wstring text = buffer;
    const std::wstring placeholder = kCompanyNamePlaceholder;
    if (text.find(placeholder) == std::wstring::npos)
        return;
    wchar_t company[MAX_PATH] = {};
    // Without the company name the placeholder stays, which at least shows what is missing.
    if (loadString(kCompanyNameStringId, company, MAX_PATH) != ERROR_SUCCESS)
        return;
    for (size_t at = text.find(placeholder); at != std::wstring::npos; at = text.find(placeholder, at)) {
        text.replace(at, placeholder.size(), company);
        at += std::wcslen(company);
    }
    size_t chars = text.size() < size ? text.size() : size - 1;
    text.copy(buffer, chars);
    buffer[chars] = L'\0';
}
