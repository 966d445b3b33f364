// Builds the override hive list and the per-hive resource DLL names from the registry.
#include "customization/KsPartnerCustomizationCommon.h"

#include "customization/ActivePackage.h"
#include "customization/CustomizationRegistry.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"

using namespace Keelwork::customization;

// Every line of the hive-list build names Initialize, whichever helper writes it.
#define KS_INIT_LOG(level, ...)                                                                       \
    do {                                                                                              \
        if (::ETWLogging::isLogEnabled(level))                                                        \
            ::ETWLogging::writeLog((level), __FILE_NAME__, "KsPartnerCustomizationBase::Initialize", \
                                   __LINE__, __VA_ARGS__);                                            \
    } while (0)

namespace {

constexpr REGSAM kQueryAccess = KEY_QUERY_VALUE | KEY_WOW64_64KEY;
constexpr REGSAM kEnumerateAccess = KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY;

// The base settings key, without trailing backslash and always ending in "Settings".
std::wstring settingsBase()
{
    std::wstring base = kBaseSettingsKey;
    while (!base.empty() && base.back() == L'\\')
        base.pop_back();
    const std::wstring leaf = kSettingsLeaf;
    if (base.size() < leaf.size() || base.compare(base.size() - leaf.size(), leaf.size(), leaf) != 0)
        base += L"\\" + leaf;
    return base;
}

// The sibling of the base settings key where plug-ins or partner overrides are listed.
std::wstring listRoot(const std::wstring& base, const wchar_t* leaf)
{
    std::wstring root = base.substr(0, base.size() - std::wcslen(kSettingsLeaf));
    if (root.empty() || root.back() != L'\\')
        root += L'\\';
    return root + leaf;
}

bool keyOpens(const std::wstring& path, REGSAM access)
{
    Keelwork::CRegKey key;
    return key.open(HKEY_LOCAL_MACHINE, path.c_str(), access) == ERROR_SUCCESS;
}

LONG readResDll(const Keelwork::CRegKey& key, std::wstring& name)
{
    wchar_t buffer[MAX_PATH] = {};
    DWORD chars = MAX_PATH;
    LONG rc = key.getStringBuffer(kResDllValue, buffer, &chars);
    if (rc == ERROR_SUCCESS)
        name = buffer;
    return rc;
}

KsHive hiveAt(const std::wstring& path)
{
    KsHive hive;
    hive.root = HKEY_LOCAL_MACHINE;
    hive.path = path;
    return hive;
}

// What plug-in and partner override lists say when one of their entries cannot be read.
struct ListedHiveTexts {
    const wchar_t* openFailed;
    uint32_t priorityLevel;
    const wchar_t* priorityFailed;
    const wchar_t* setDllFailed;
};

// Adds a hive for each subkey of `root` that carries a priority, and caches the resource DLL
// `dllFor` finds for it (false: none to cache). Stops at the first hive that cannot be added.
template <typename DllFor>
HRESULT addListedHives(KsRegistryOverride& hives, KsResDllCache& dlls, const std::wstring& root,
                       const ListedHiveTexts& texts, DllFor dllFor)
{
    Keelwork::CRegKey list;
    if (list.open(HKEY_LOCAL_MACHINE, root.c_str(), kEnumerateAccess) != ERROR_SUCCESS)
        return S_OK;
    std::wstring name;
    for (DWORD index = 0; list.enumSubKey(index, name) == ERROR_SUCCESS; ++index) {
        const std::wstring keyPath = root + name + L"\\";
        Keelwork::CRegKey key;
        LONG rc = key.open(HKEY_LOCAL_MACHINE, keyPath.c_str(), kQueryAccess);
        if (rc != ERROR_SUCCESS) {
            KS_INIT_LOG(ETWLogging::LOG_LEVEL_ERROR, texts.openFailed, keyPath.c_str(), rc);
            continue;
        }
        DWORD priority = 0;
        if ((rc = key.getDwordValue(kPriorityValue, priority)) != ERROR_SUCCESS) {
            KS_INIT_LOG(texts.priorityLevel, texts.priorityFailed, kPriorityValue, rc);
            continue;
        }
        const std::wstring hivePath = keyPath + kSettingsLeaf + L"\\";
        HRESULT hr = hives.AddHive(hivePath, priority);
        if (FAILED(hr)) {
            KS_INIT_LOG(ETWLogging::LOG_LEVEL_ERROR, L"Couldn't add hive '%s' (%ld)", hivePath.c_str(), hr);
            return hr;
        }
        std::wstring dll;
        if (dllFor(hivePath, dll) && FAILED(hr = dlls.SetDll(hiveAt(hivePath), dll)))
            KS_INIT_LOG(ETWLogging::LOG_LEVEL_ERROR, texts.setDllFailed, hivePath.c_str(), hr);
    }
    return S_OK;
}

} // namespace

HRESULT KsPartnerCustomizationBase::Initialize()
{
    std::lock_guard<std::mutex> lock(m_initializeLock);
    m_override.Clear();
    m_resDllCache.Clear();

    const uint32_t package = activePackageNumber();
    const std::wstring base = settingsBase();
    HRESULT hr = m_override.AddHive(base, 0);
    if (package != 0) {
        std::wstring packageKey = base + std::to_wstring(package);
        if (keyOpens(packageKey, KEY_READ | KEY_WOW64_64KEY))
            hr = m_override.AddHive(packageKey, 1);
    }
    if (FAILED(hr)) {
        KS_INIT_LOG(ETWLogging::LOG_LEVEL_ERROR, L"Couldn't add hive (%ld)", hr);
        return hr;
    }

    const std::wstring defaultDll = readDefaultDll(base);
    hr = addPluginHives(listRoot(base, kPluginsLeaf));
    if (FAILED(hr))
        return hr;
    return addOverrideHives(listRoot(base, kOverridesLeaf), defaultDll);
}

void KsPartnerCustomizationBase::InitializeFrom(const KsPartnerCustomizationBase& initialized)
{
    std::lock_guard<std::mutex> lock(m_initializeLock);
    m_resDllCache.Clear();
    m_override.CopyHives(initialized.m_override);
}

std::wstring KsPartnerCustomizationBase::readDefaultDll(const KsRegistryPath& base)
{
    Keelwork::CRegKey key;
    std::wstring path = base.str() + kGeneralSettingsKey;
    LONG rc = key.open(HKEY_LOCAL_MACHINE, path.c_str(), kQueryAccess);
    if (rc != ERROR_SUCCESS) {
        path = std::wstring(kZarnSettingsKey) + L"\\" + kGeneralSettingsKey;
        rc = key.open(HKEY_LOCAL_MACHINE, path.c_str(), kQueryAccess);
        if (rc != ERROR_SUCCESS)
            KS_INIT_LOG(ETWLogging::LOG_LEVEL_ERROR, L"Couldn't open key '%s' (%ld) - continuing",
                        kZarnGeneralSettingsLogText, rc);
    }
    std::wstring dll;
    rc = readResDll(key, dll);
    if (rc != ERROR_SUCCESS) {
        KS_INIT_LOG(ETWLogging::LOG_LEVEL_ERROR, L"Couldn't read value '%s' (%ld) - continuing", kResDllValue, rc);
        return {};
    }
    HRESULT hr = m_resDllCache.SetDll(hiveAt(kBaseSettingsKey), dll);
    if (FAILED(hr))
        KS_INIT_LOG(ETWLogging::LOG_LEVEL_ERROR, L"Couldn't set dll (%ld)", hr);
    return dll;
}

HRESULT KsPartnerCustomizationBase::addPluginHives(const std::wstring& root)
{
    static constexpr ListedHiveTexts texts{L"Couldn't open key '%s' (%ld) - skipping", ETWLogging::LOG_LEVEL_ERROR,
                                           L"Couldn't get value '%s' (%ld) - skipping",
                                           L"Couldn't set dll for hive '%s' (%ld)"};
    // A plug-in without its own resource DLL gets no entry in the cache.
    auto ownDll = [](const std::wstring& hivePath, std::wstring& dll) {
        const std::wstring generalPath = hivePath + kGeneralSettingsKey + L"\\";
        Keelwork::CRegKey general;
        LONG rc = general.open(HKEY_LOCAL_MACHINE, generalPath.c_str(), kQueryAccess);
        if (rc != ERROR_SUCCESS) {
            KS_INIT_LOG(ETWLogging::LOG_LEVEL_ERROR, L"Couldn't open key '%s' (%ld)", generalPath.c_str(), rc);
            return false;
        }
        if ((rc = readResDll(general, dll)) != ERROR_SUCCESS) {
            KS_INIT_LOG(ETWLogging::LOG_LEVEL_ERROR, L"Couldn't query value '%s' (%ld)", kResDllValue, rc);
            return false;
        }
        return true;
    };
    return addListedHives(m_override, m_resDllCache, root, texts, ownDll);
}

HRESULT KsPartnerCustomizationBase::addOverrideHives(const std::wstring& root, const std::wstring& defaultDll)
{
    static constexpr ListedHiveTexts texts{L"Couldn't open key '%s' (%ld)", ETWLogging::LOG_LEVEL_NORMAL,
                                           L"Couldn't query value '%s' (%ld)",
                                           L"Couldn't set DLL for hive '%s' (%ld)"};
    // A partner override without its own resource DLL falls back to the default one.
    auto ownDllOrDefault = [&defaultDll](const std::wstring& hivePath, std::wstring& dll) {
        const std::wstring generalPath = hivePath + kGeneralSettingsKey + L"\\";
        Keelwork::CRegKey general;
        if (general.open(HKEY_LOCAL_MACHINE, generalPath.c_str(), kQueryAccess) != ERROR_SUCCESS ||
            readResDll(general, dll) != ERROR_SUCCESS) {
            KS_INIT_LOG(ETWLogging::LOG_LEVEL_WARNING, L"Couldn't get DLL for hive '%s' using default '%s'",
                        hivePath.c_str(), defaultDll.c_str());
            dll = defaultDll;
        }
        return true;
    };
    return addListedHives(m_override, m_resDllCache, root, texts, ownDllOrDefault);
}
