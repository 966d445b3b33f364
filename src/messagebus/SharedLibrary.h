// A loaded library with the four exports every suite library offers. Construction loads and
// imports, or throws Tessel::ModuleException; destruction frees the library.
#pragma once

#include "common/UniqueHandle.h"
#include "message/ModuleStatus.h"
#include "messagebus/DllLoader.h"
#include "messagebus/LibraryDescription.h"

#include <memory>
#include <string>

namespace Tessel {

class SharedLibrary {
public:
    // With no loader given, the operating system's loader is used.
    explicit SharedLibrary(LibraryDescription description, std::shared_ptr<DllLoader> loader = nullptr);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    const LibraryDescription& description() const { return m_description; }
    // Full path the library was loaded from.
    const std::wstring& path() const { return m_path; }
    DllAPI::ModuleHandle module() const { return m_module.get(); }

    // The imported exports, as raw procedures; callers cast them to the library's own types.
    DllAPI::Proc createObject() const { return m_createObject; }
    DllAPI::Proc releaseObject() const { return m_releaseObject; }
    DllAPI::Proc getVersionStr() const { return m_getVersionStr; }
    DllAPI::Proc getVersionNum() const { return m_getVersionNum; }

private:
    ModuleStatus loadLibrary();
    ModuleStatus resolveDirectories(std::vector<std::wstring>& resolved) const;
    ModuleStatus importFunctions();
    ModuleStatus importFunction(const char* name, DllAPI::Proc& proc);
    void unloadLibrary();

    LibraryDescription m_description;
    std::shared_ptr<DllLoader> m_loader;
    std::wstring m_path;
    // unloadLibrary frees it explicitly to log a failure; the owner covers a throwing constructor.
    Keelwork::unique_hmodule m_module;
    DllAPI::Proc m_createObject = nullptr;
    DllAPI::Proc m_releaseObject = nullptr;
    DllAPI::Proc m_getVersionStr = nullptr;
    DllAPI::Proc m_getVersionNum = nullptr;
};

} // namespace Tessel
