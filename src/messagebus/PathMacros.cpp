// Path macro values: the running executable, the host's install folder and known folders.
#include "messagebus/PathMacros.h"

#include "common/KnownFolder.h"
#include "common/WinInclude.h"
#include "messagebus/HearthInstallDir.h"

#include <knownfolders.h>
#include <shtypes.h>

#include <regex>
#include <string_view>

namespace Tessel {
namespace {

struct KnownFolderMacro {
    const wchar_t* name;
    const KNOWNFOLDERID* id;
};

const KnownFolderMacro kKnownFolders[] = {
    {L"FOLDERID_Profile", &FOLDERID_Profile},
    {L"FOLDERID_Desktop", &FOLDERID_Desktop},
    {L"FOLDERID_Documents", &FOLDERID_Documents},
    {L"FOLDERID_LocalAppDataLow", &FOLDERID_LocalAppDataLow},
    {L"FOLDERID_LocalAppData", &FOLDERID_LocalAppData},
    {L"FOLDERID_RoamingAppData", &FOLDERID_RoamingAppData},
    {L"FOLDERID_ProgramData", &FOLDERID_ProgramData},
    {L"FOLDERID_ProgramFiles", &FOLDERID_ProgramFiles},
    {L"FOLDERID_ProgramFilesX64", &FOLDERID_ProgramFilesX64},
    {L"FOLDERID_ProgramFilesX86", &FOLDERID_ProgramFilesX86},
    {L"FOLDERID_ProgramFilesCommon", &FOLDERID_ProgramFilesCommon},
    {L"FOLDERID_ProgramFilesCommonX64", &FOLDERID_ProgramFilesCommonX64},
    {L"FOLDERID_ProgramFilesCommonX86", &FOLDERID_ProgramFilesCommonX86},
};

bool executablePath(std::wstring& path)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return false;
        if (length < buffer.size()) {
            buffer.resize(length);
            path = std::move(buffer);
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}


bool executableMacro(std::wstring_view name, std::wstring& value)
{
    std::wstring path;
    if (!executablePath(path))
        return false;
    size_t slash = path.find_last_of(L"\\/");
    std::wstring binary = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (name == L"App.Path")
        value = path;
    else if (name == L"App.Folder")
        value = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    else if (name == L"App.Binary")
        value = binary;
    else
        value = binary.substr(0, binary.find_last_of(L'.'));
    return true;
}

} // namespace

bool pathMacroValue(const std::wstring& name, std::wstring& value)
{
    if (name == L"OS.Platform") {
        // This build only exists for Windows, so the platform is always recognised.
        value = L"win32";
        return true;
    }
    if (name == L"App.Binary" || name == L"App.Name" || name == L"App.Folder" || name == L"App.Path")
        return executableMacro(name, value);
    if (name == L"Hearth.InstallDir") {
        HearthInstallDir dir = readHearthInstallDir();
        if (dir.folder.empty())
            return false;
        value = dir.folder;
        return true;
    }
    for (const KnownFolderMacro& folder : kKnownFolders) {
        if (name == folder.name)
            return Keelwork::knownFolderPath(*folder.id, value);
    }
    return false;
}

bool expandPathMacros(const std::wstring& text, std::wstring& expanded)
{
    static const std::wregex macro(L"\\$\\(([^$()]+)\\)", std::regex::ECMAScript | std::regex::optimize);
    std::wstring result;
    auto last = text.cbegin();
    for (std::wsregex_iterator it(text.cbegin(), text.cend(), macro), end; it != end; ++it) {
        std::wstring value;
        if (!pathMacroValue((*it)[1].str(), value))
            return false;
        result.append(last, (*it)[0].first);
        result += value;
        last = (*it)[0].second;
    }
    result.append(last, text.cend());
    expanded = std::move(result);
    return true;
}

} // namespace Tessel
