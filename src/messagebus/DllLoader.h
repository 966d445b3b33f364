// Loads a library file and finds its exports, with the log lines the loader owes its callers.
#pragma once

#include "message/ModuleStatus.h"
#include "messagebus/wrappers/DllAPI.h"

#include <memory>

namespace Tessel {

class DllLoader {
public:
    // With no API given, the operating system's loader is used.
    explicit DllLoader(std::shared_ptr<DllAPI> api = nullptr);

    // On success *pHandle holds a module the caller must free (freeDLL).
    ModuleStatus loadDLL(const wchar_t* path, DllAPI::ModuleHandle* pHandle);
    // Null when the export is missing.
    DllAPI::Proc getProcAddress(DllAPI::ModuleHandle module, const char* name);
    // The system error code, 0 on success.
    unsigned long freeDLL(DllAPI::ModuleHandle module);

private:
    std::shared_ptr<DllAPI> m_api;
};

} // namespace Tessel
