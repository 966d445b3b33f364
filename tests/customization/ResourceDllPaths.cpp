// Paths of the built resource DLL for the string tests.
#include "ResourceDllPaths.h"

#include "RegistryFixture.h"
#include "customization/CustomizationRegistry.h"

namespace kstest {

std::wstring resourceDllPath()
{
    return testProgramFolder() + L"\\KsOemRes.dll";
}

void registerProductDlls(const std::wstring& resDll)
{
    using namespace Keelwork::customization;
    const std::wstring ui = testProgramFolder() + L"\\OemUI.dll";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kApplicationInfoZarnKey, kResDllValue, REG_SZ, resDll.c_str(),
                    static_cast<DWORD>((resDll.size() + 1) * sizeof(wchar_t)));
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kApplicationInfoZarnKey, kUiDllValue, REG_SZ, ui.c_str(),
                    static_cast<DWORD>((ui.size() + 1) * sizeof(wchar_t)));
}

} // namespace kstest
