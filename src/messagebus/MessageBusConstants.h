// Names the bus loader shares with the outside world: the bus library's file, the host's
// registry keys and values, and the libraries that the block list may refuse.
#pragma once

#include <cstdint>

namespace Tessel {

inline constexpr const wchar_t* kMessageBusFileName = L"MessageBus.dll";

// Version number this module hands to a library's CreateObject.
inline constexpr uint32_t kModuleVersionNumber = 2001000;

// The host's install folder, under HKEY_LOCAL_MACHINE.
inline constexpr const wchar_t* kHearthKeyPath = L"SOFTWARE\\KESTREL\\HEARTHC";
inline constexpr const wchar_t* kHearthInstallDirValue = L"Install Dir";
inline constexpr const wchar_t* kHearthInstallDirWow64Value = L"Install Dir32";

// Fallback below FOLDERID_ProgramFilesCommon when the registry names no install folder.
inline constexpr const wchar_t* kHearthCommonSubfolder = L"\\Kestrel\\Hearth";

// Block list: one key per library file name below this path; the value named
// kBlockedVersionValue holds the FileVersion text of the build that must not be loaded.
inline constexpr const wchar_t* kBlockListKeyPath = L"SOFTWARE\\Kestrel\\HearthC\\List\\";
inline constexpr const wchar_t* kBlockedVersionValue = L"FileVersion";

// Core libraries the block list applies to, in lower case.
inline constexpr const wchar_t* kCoreLibraries[] = {
    L"systemmonitor.dll",
    L"settingsmanager.dll",
    L"modulemanager.dll",
    L"messagebus.dll",
};

// Exports every loadable library must offer, in the order they are imported.
inline constexpr const char* kExportCreateObject = "CreateObject";
inline constexpr const char* kExportReleaseObject = "ReleaseObject";
inline constexpr const char* kExportGetVersionStr = "GetVersionStr";
inline constexpr const char* kExportGetVersionNum = "GetVersionNum";

} // namespace Tessel
