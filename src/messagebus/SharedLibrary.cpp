// Library loading along a search path, with the block check, and import of the four exports.
#include "messagebus/SharedLibrary.h"

#include "common/WinInclude.h"
#include "logging/internal_logging.h"
#include "message/ModuleException.h"
#include "messagebus/LibraryBlockList.h"
#include "messagebus/MessageBusConstants.h"
#include "messagebus/PathMacros.h"
#include "messagebus/PathSearch.h"

namespace Tessel {

SharedLibrary::SharedLibrary(LibraryDescription description, std::shared_ptr<DllLoader> loader)
    : m_description(std::move(description)), m_loader(loader ? std::move(loader) : std::make_shared<DllLoader>())
{
    if (loadLibrary() != MODULE_STATUS_SUCCESS) {
        KSLOG_ERROR(L"Failed to load library: %ls. Throwing ModuleException.", m_description.fileName.c_str());
        throw ModuleException("Failed to load library");
    }
    if (importFunctions() != MODULE_STATUS_SUCCESS) {
        KSLOG_ERROR(L"Failed to import functions from library: %ls. Throwing ModuleException.",
                    m_description.fileName.c_str());
        throw ModuleException("Failed to import functions from library");
    }
}

SharedLibrary::~SharedLibrary()
{
    unloadLibrary();
}

ModuleStatus SharedLibrary::resolveDirectories(std::vector<std::wstring>& resolved) const
{
    for (const std::wstring& directory : m_description.searchDirectories) {
        std::wstring expanded;
        if (!expandPathMacros(directory, expanded)) {
            KSLOG_ERROR(L"Failed to resolve file path, %ls, for library: %ls.", directory.c_str(),
                        m_description.fileName.c_str());
            return MODULE_STATUS_NOT_FOUND;
        }
        resolved.push_back(std::move(expanded));
    }
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus SharedLibrary::loadLibrary()
{
    const wchar_t* fileName = m_description.fileName.c_str();
    std::vector<std::wstring> directories;
    ModuleStatus status = resolveDirectories(directories);
    if (status != MODULE_STATUS_SUCCESS)
        return status;

    std::wstring directory;
    status = PathSearch::findFilePath(m_description.fileName, directories, directory);
    if (status != MODULE_STATUS_SUCCESS) {
        KSLOG_ERROR(L"Failed to find valid path for library: %ls.", fileName);
        return status;
    }
    KSLOG_NORMAL(L"Loading %ls from %ls.", fileName, directory.c_str());
    std::wstring path = PathSearch::join(directory, m_description.fileName);

    if (isBlockedLibrary(m_description.fileName, path)) {
        KSLOG_INFO(L"Blocked library: %ls.", fileName);
        return MODULE_STATUS_NOT_FOUND;
    }

    DllAPI::ModuleHandle module = nullptr;
    status = m_loader->loadDLL(path.c_str(), &module);
    if (status != MODULE_STATUS_SUCCESS) {
        KSLOG_ERROR(L"Failed to load library: %ls.", fileName);
        return status;
    }
    m_module.reset(module);
    m_path = std::move(path);
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus SharedLibrary::importFunction(const char* name, DllAPI::Proc& proc)
{
    proc = m_loader->getProcAddress(m_module.get(), name);
    if (!proc) {
        KSLOG_ERROR(L"Failed to load %hs function from library: %ls.", name, m_description.fileName.c_str());
        return MODULE_STATUS_NOT_FOUND;
    }
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus SharedLibrary::importFunctions()
{
    for (auto [name, proc] : {std::pair{kExportCreateObject, &m_createObject},
                              std::pair{kExportReleaseObject, &m_releaseObject},
                              std::pair{kExportGetVersionStr, &m_getVersionStr},
                              std::pair{kExportGetVersionNum, &m_getVersionNum}}) {
        ModuleStatus status = importFunction(name, *proc);
        if (status != MODULE_STATUS_SUCCESS)
            return status;
    }
    return MODULE_STATUS_SUCCESS;
}

void SharedLibrary::unloadLibrary()
{
    if (!m_module)
        return;
    unsigned long error = m_loader->freeDLL(m_module.release());
    if (error != ERROR_SUCCESS)
        KSLOG_ERROR(L"Failed to free library: %ls.", m_description.fileName.c_str());
}

} // namespace Tessel
