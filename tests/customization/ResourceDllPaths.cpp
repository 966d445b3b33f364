// Paths of the built resource DLL for the string tests.
#include "ResourceDllPaths.h"

#include "RegistryFixture.h"
#include "customization/CustomizationRegistry.h"

namespace kstest {

std::wstring programFolder()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

std::wstring resourceDllPath()
{
    return programFolder() + L"KsOemRes.dll";
}

void registerProductDlls(const std::wstring& resDll)
{
    using namespace Keelwork::customization;
    const std::wstring ui = programFolder() + L"OemUI.dll";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kApplicationInfoZarnKey, kResDllValue, REG_SZ, resDll.c_str(),
                    static_cast<DWORD>((resDll.size() + 1) * sizeof(wchar_t)));
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kApplicationInfoZarnKey, kUiDllValue, REG_SZ, ui.c_str(),
                    static_cast<DWORD>((ui.size() + 1) * sizeof(wchar_t)));
}

} // namespace kstest
