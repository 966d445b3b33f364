// Registry lookup of the host's install folder.
#include "messagebus/HearthInstallDir.h"

#include "common/WinInclude.h"
#include "messagebus/MessageBusConstants.h"
#include "registry/RegKey.h"

namespace Tessel {

bool isWow64Process()
{
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel)
        return false;
    auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (!isWow64 || !isWow64(GetCurrentProcess(), &wow64))
        return false;
    return wow64 != FALSE;
}

HearthInstallDir readHearthInstallDir()
{
    HearthInstallDir result;
    result.wow64 = isWow64Process();
    Keelwork::CRegKey key;
    result.error = key.open(HKEY_LOCAL_MACHINE, kHearthKeyPath, KEY_READ);
    if (result.error != ERROR_SUCCESS)
        return result;
    const wchar_t* valueName = result.wow64 ? kHearthInstallDirWow64Value : kHearthInstallDirValue;
    std::wstring folder;
    result.error = key.getStringValue(valueName, folder);
    if (result.error == ERROR_SUCCESS && folder.empty())
        result.error = ERROR_FILE_NOT_FOUND;
    if (result.error == ERROR_SUCCESS)
        result.folder = std::move(folder);
    return result;
}

} // namespace Tessel
