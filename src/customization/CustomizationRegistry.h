// Registry locations of the override hives, plug-ins, partner overrides, active packages and
// resource DLL names, all under HKEY_LOCAL_MACHINE in the 64-bit view.
#pragma once

namespace Keelwork::customization {

inline constexpr const wchar_t* kBaseSettingsKey = L"SOFTWARE\\Kestrel\\Platform\\Settings";
inline constexpr const wchar_t* kSettingsLeaf = L"Settings";
inline constexpr const wchar_t* kGeneralSettingsKey = L"generalSettings";
inline constexpr const wchar_t* kZarnSettingsKey = L"SOFTWARE\\Kestrel\\ZARN\\Settings";
// Named in the log line when neither generalSettings key opens; spelt as the product logs it.
inline constexpr const wchar_t* kZarnGeneralSettingsLogText = L"Software\\Kestrel\\ZARN\\Settings\\generalSettings\\";
inline constexpr const wchar_t* kPluginsLeaf = L"plugins\\";
inline constexpr const wchar_t* kOverridesLeaf = L"overrides\\";

inline constexpr const wchar_t* kPackagesKey = L"SOFTWARE\\Kestrel\\ZARN\\Packages";
inline constexpr const wchar_t* kActiveUiPackagesValue = L"activeuipackages";
inline constexpr const wchar_t* kActivePackagesValue = L"activepackages";

inline constexpr const wchar_t* kApplicationInfoZarnKey = L"SOFTWARE\\Kestrel\\ZARN\\Settings\\ApplicationInfo\\zarn";
inline constexpr const wchar_t* kResDllValue = L"ResDll";
inline constexpr const wchar_t* kUiDllValue = L"UIDll";
inline constexpr const wchar_t* kPriorityValue = L"priority";

inline constexpr const wchar_t* kLocalizedResDllName = L"KsOemRes.dll";
inline constexpr const wchar_t* kUiDllName = L"OemUI.dll";
inline constexpr const wchar_t* kCompanyNamePlaceholder = L"%COMPANY_NAME_NEUTRAL%";
inline constexpr unsigned kCompanyNameStringId = 35030;

} // namespace Keelwork::customization
