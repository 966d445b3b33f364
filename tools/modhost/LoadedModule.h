// One module library and the module the host created from it: loaded by path, its table taken
// from CreateObject, and every table call the host makes printed with its status.
#pragma once

#include "HostOptions.h"
#include "common/UniqueHandle.h"
#include "module/ModuleFunctions.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace modhost {

class HostBus;

class LoadedModule {
public:
    // Null with `error` set when the library does not load or lacks the table.
    static std::unique_ptr<LoadedModule> load(const ModuleToLoad& wanted, std::wstring& error);
    // Frees the library; the host has destroyed the module before.
    ~LoadedModule() = default;

    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    const std::wstring& name() const { return m_wanted.name; }

    // Each returns true on MODULE_STATUS_SUCCESS. Initialize hands over the host's bus when one is
    // given (InitializeModuleV2), else the module opens its own (InitializeModule).
    bool create();
    bool initialize(const std::vector<std::pair<std::wstring, std::wstring>>& settings, const HostBus* bus);
    bool start();
    bool stop();
    bool uninitialize();
    bool destroy();
    uint32_t directMessage(const std::wstring& name, const std::wstring& payload);

    bool created() const { return m_handle != nullptr; }
    HMODULE library() const { return m_library.get(); }

private:
    explicit LoadedModule(ModuleToLoad wanted) : m_wanted(std::move(wanted)) {}
    bool report(const wchar_t* call, uint32_t status) const;

    // The module manager the host hands over: it only reports what a module asks of it.
    static uint32_t __cdecl onModuleManager(void* context, void* argument, void* reserved);

    ModuleToLoad m_wanted;
    Keelwork::unique_hmodule m_library;
    const ModuleFunctions* m_table = nullptr;
    ModuleHandle m_handle = nullptr;  // from NewModule until DestroyModule
};

} // namespace modhost
