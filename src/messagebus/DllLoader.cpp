// Library loading with status logging over DllAPI.
#include "messagebus/DllLoader.h"

#include "logging/internal_logging.h"

namespace Tessel {

DllLoader::DllLoader(std::shared_ptr<DllAPI> api) : m_api(api ? std::move(api) : std::make_shared<DllAPI>()) {}

ModuleStatus DllLoader::loadDLL(const wchar_t* path, DllAPI::ModuleHandle* pHandle)
{
    if (!pHandle) {
        KSLOG_WARNING(L"Invalid pHandle specified. Exiting.");
        return MODULE_STATUS_INVALID_PARAMETER;
    }
    DllAPI::ModuleHandle module = nullptr;
    ModuleStatus status = m_api->loadLibrary(path, module);
    if (status != MODULE_STATUS_SUCCESS) {
        KSLOG_ERROR(L"Failed to load library. Error code: %ls(%lu).", moduleStatusName(status),
                    static_cast<unsigned long>(status));
        return status;
    }
    *pHandle = module;
    return MODULE_STATUS_SUCCESS;
}

DllAPI::Proc DllLoader::getProcAddress(DllAPI::ModuleHandle module, const char* name)
{
    DllAPI::Proc proc = m_api->getProcAddress(module, name);
    if (!proc)
        KSLOG_WARNING(L"getProcAddress was unsuccessful in finding the handle's address");
    return proc;
}

unsigned long DllLoader::freeDLL(DllAPI::ModuleHandle module)
{
    return m_api->freeLibrary(module);
}

} // namespace Tessel
