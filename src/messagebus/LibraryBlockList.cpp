// Version-resource comparison against the host's block list.
#include "messagebus/LibraryBlockList.h"

#include "common/WinInclude.h"
#include "messagebus/MessageBusConstants.h"
#include "registry/RegKey.h"

#include <cwctype>
#include <vector>

namespace Tessel {
namespace {

std::wstring toLower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool queryString(const std::vector<BYTE>& block, WORD language, WORD codePage, std::wstring& text)
{
    wchar_t subBlock[64];
    _snwprintf(subBlock, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", language, codePage);
    subBlock[63] = L'\0';
    void* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(block.data(), subBlock, &value, &chars) || !value || chars == 0)
        return false;
    text.assign(static_cast<const wchar_t*>(value));
    return true;
}

} // namespace

bool isCoreLibrary(const std::wstring& fileName)
{
    std::wstring lower = toLower(fileName);
    for (const wchar_t* core : kCoreLibraries) {
        if (lower == core)
            return true;
    }
    return false;
}

bool readFileVersion(const std::wstring& path, std::wstring& version)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return false;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return false;

    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT bytes = 0;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &bytes)) {
        for (UINT i = 0; translations && i < bytes / sizeof(Translation); ++i) {
            if (queryString(block, translations[i].language, translations[i].codePage, version))
                return true;
        }
    }
    // Resources without a translation table are most often US English, Unicode.
    return queryString(block, 0x0409, 0x04B0, version);
}

bool isBlockedLibrary(const std::wstring& fileName, const std::wstring& fullPath)
{
    if (!isCoreLibrary(fileName))
        return false;
    std::wstring fileVersion;
    if (!readFileVersion(fullPath, fileVersion))
        return false;
    Keelwork::CRegKey key;
    std::wstring keyPath = std::wstring(kBlockListKeyPath) + fileName;
    if (key.open(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_READ) != ERROR_SUCCESS)
        return false;
    std::wstring recorded;
    if (key.getStringValue(kBlockedVersionValue, recorded) != ERROR_SUCCESS)
        return false;
    return recorded == fileVersion;
}

} // namespace Tessel
