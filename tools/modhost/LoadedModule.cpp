// Loading a module library and making the calls of its function table.
#include "LoadedModule.h"

#include "HostBus.h"
#include "Output.h"

#include <cwchar>

namespace modhost {

std::unique_ptr<LoadedModule> LoadedModule::load(const ModuleToLoad& wanted, std::wstring& error)
{
    std::unique_ptr<LoadedModule> module(new LoadedModule(wanted));
    // Altered search path: libraries the module needs are found beside it, not beside the host.
    module->m_library.reset(LoadLibraryExW(wanted.path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module->m_library) {
        DWORD loadError = GetLastError();
        error = L"cannot load module library " + wanted.path + L" (Windows error " + std::to_wstring(loadError) + L")";
        return nullptr;
    }
    auto createObject = reinterpret_cast<ModuleCreateObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module->m_library.get(), "CreateObject")));
    module->m_table = createObject ? createObject() : nullptr;
    if (!module->m_table) {
        error = L"module library " + wanted.path + L" has no CreateObject table";
        return nullptr;
    }
    auto versionStr = reinterpret_cast<ModuleGetVersionStrFn>(
        reinterpret_cast<void*>(GetProcAddress(module->m_library.get(), "GetVersionStr")));
    const char* version = versionStr ? versionStr() : nullptr;
    wchar_t line[300] = {};
    _snwprintf(line, 299, L"%s: loaded %s, version %hs", wanted.name.c_str(), wanted.path.c_str(),
               version ? version : "(none)");
    Output::event(L"host", line);
    return module;
}

bool LoadedModule::report(const wchar_t* call, uint32_t status) const
{
    Output::event(L"host", m_wanted.name + L": " + call + L" -> " + statusText(status));
    return status == 0;
}

bool LoadedModule::create()
{
    return report(L"NewModule", m_table->newModule(&m_handle, m_wanted.name.c_str()));
}

bool LoadedModule::initialize(const std::vector<std::pair<std::wstring, std::wstring>>& settings, const HostBus* bus)
{
    std::vector<const wchar_t*> keys;
    std::vector<const wchar_t*> values;
    for (const auto& [key, value] : settings) {
        keys.push_back(key.c_str());
        values.push_back(value.c_str());
    }
    const auto count = static_cast<uint32_t>(keys.size());
    const wchar_t* name = m_wanted.name.c_str();
    if (bus) {
        uint32_t status = m_table->initializeModuleV2(m_handle, name, name, count, keys.data(), values.data(), this,
                                                      &LoadedModule::onModuleManager, bus->handle(), bus->functions());
        return report(L"InitializeModuleV2 (host bus)", status);
    }
    uint32_t status = m_table->initializeModule(m_handle, name, name, count, keys.data(), values.data(), this,
                                                &LoadedModule::onModuleManager);
    return report(L"InitializeModule (own bus)", status);
}

bool LoadedModule::start()
{
    return report(L"StartModule", m_table->startModule(m_handle));
}

bool LoadedModule::stop()
{
    return report(L"StopModule", m_table->stopModule(m_handle));
}

bool LoadedModule::uninitialize()
{
    return report(L"UninitializeModule", m_table->uninitializeModule(m_handle));
}

bool LoadedModule::destroy()
{
    bool ok = report(L"DestroyModule", m_table->destroyModule(m_handle));
    // The handle is the module's to free: never used again, whatever the status.
    m_handle = nullptr;
    return ok;
}

uint32_t LoadedModule::directMessage(const std::wstring& name, const std::wstring& payload)
{
    MessageOptions options = senderOptions(name, kHostAlias, payload);
    return m_table->directMessage(m_handle, &options, name.c_str(), kHostAlias, payload.c_str());
}

uint32_t __cdecl LoadedModule::onModuleManager(void* context, void* argument, void* reserved)
{
    try {
        const auto* self = static_cast<const LoadedModule*>(context);
        wchar_t line[200] = {};
        _snwprintf(line, 199, L"%s asked the module manager (argument %p, reserved %p)",
                   self ? self->m_wanted.name.c_str() : L"(unknown module)", argument, reserved);
        Output::event(L"manager", line);
    } catch (...) {
        // The module called us: nothing may travel back.
    }
    return 0;
}

} // namespace modhost
