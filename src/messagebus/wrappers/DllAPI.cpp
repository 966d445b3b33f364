// Thin pass-through to LoadLibraryExW, GetProcAddress and FreeLibrary.
#include "messagebus/wrappers/DllAPI.h"

#include "common/WinInclude.h"
#include "logging/internal_logging.h"

namespace Tessel {

ModuleStatus DllAPI::loadLibrary(const wchar_t* path, ModuleHandle& module)
{
    // The altered search path lets a library in a foreign folder find its own dependencies there.
    HMODULE loaded = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!loaded) {
        DWORD error = GetLastError();
        KSLOG_ERROR(L"LoadLibrary Failed. GLE: %lu", error);
        return MODULE_STATUS_UNSUCCESSFUL;
    }
    module = loaded;
    return MODULE_STATUS_SUCCESS;
}

DllAPI::Proc DllAPI::getProcAddress(ModuleHandle module, const char* name)
{
    return reinterpret_cast<Proc>(::GetProcAddress(module, name));
}

unsigned long DllAPI::freeLibrary(ModuleHandle module)
{
    if (::FreeLibrary(module))
        return ERROR_SUCCESS;
    return GetLastError();
}

} // namespace Tessel
