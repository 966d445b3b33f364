// KsPartnerCustomizationBase: builds the override hive list (base settings, active package,
// plug-ins, partner overrides) and the resource DLL of each hive from the registry. Users then
// look keys and values up through its KsRegistryOverride.
#pragma once

#include "common/WinInclude.h"
#include "customization/KsRegistryOverride.h"
#include "customization/KsResDllCache.h"

#include <mutex>
#include <string>

class KsPartnerCustomizationBase {
public:
    KsPartnerCustomizationBase() = default;
    KsPartnerCustomizationBase(const KsPartnerCustomizationBase&) = delete;
    KsPartnerCustomizationBase& operator=(const KsPartnerCustomizationBase&) = delete;
    virtual ~KsPartnerCustomizationBase() = default;

    // S_OK, or the negative error of a hive that could not be added. Every other registry
    // failure is logged and skipped.
    HRESULT Initialize();
    // Takes the hives `initialized` found, without looking through the registry again (the values
    // in them are still read when asked). The resource DLLs are not taken.
    void InitializeFrom(const KsPartnerCustomizationBase& initialized);

    KsRegistryOverride& GetRegistryOverride() noexcept { return m_override; }
    KsResDllCache& GetResDllCache() noexcept { return m_resDllCache; }

private:
    std::wstring readDefaultDll(const KsRegistryPath& base);
    HRESULT addPluginHives(const std::wstring& root);
    HRESULT addOverrideHives(const std::wstring& root, const std::wstring& defaultDll);

    KsRegistryOverride m_override;
    // Held for the whole of Initialize; guards the hive list and the DLL cache while they are rebuilt.
    std::mutex m_initializeLock;
    KsResDllCache m_resDllCache;
};

// Schedule presets read through the override hives.
class KsTaskCustomization : public KsPartnerCustomizationBase {};

// The engine's settings overrides.
class KsZARNPartnerCustomization : public KsPartnerCustomizationBase {};
