// Bringing the host's modules up and down in order.
#include "ModuleSet.h"

#include "HostBus.h"
#include "LibraryThreads.h"
#include "Output.h"

namespace modhost {

ModuleSet::~ModuleSet()
{
    takeDown();
}

bool ModuleSet::load(const std::vector<ModuleToLoad>& modules, std::wstring& error)
{
    for (const ModuleToLoad& wanted : modules) {
        std::unique_ptr<LoadedModule> module = LoadedModule::load(wanted, error);
        if (!module)
            return false;
        m_entries.push_back({std::move(module)});
    }
    return true;
}

bool ModuleSet::bringUp(const HostOptions& options, const HostBus& bus)
{
    for (Entry& entry : m_entries) {
        if (!entry.module->create())
            return false;
        entry.initialized = entry.module->initialize(options.settings, options.hostBus ? &bus : nullptr);
        if (!entry.initialized)
            return false;
        if (!entry.module->start())
            return false;
    }
    return true;
}

bool ModuleSet::takeDown()
{
    bool ok = true;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        LoadedModule& module = *it->module;
        if (!module.created())
            continue;
        // A module whose start failed is still stopped: its start may have half happened.
        if (it->initialized) {
            ok = module.stop() && ok;
            ok = module.uninitialize() && ok;
        }
        ok = module.destroy() && ok;
        it->initialized = false;
    }
    return ok;
}

void ModuleSet::reportThreadsLeft() const
{
    for (const Entry& entry : m_entries) {
        const size_t left = threadsStartedIn(entry.module->library());
        Output::event(L"host", L"threads still running in " + entry.module->name() + L"'s library: " + std::to_wstring(left));
    }
}

LoadedModule* ModuleSet::find(const std::wstring& name)
{
    for (Entry& entry : m_entries)
        if (entry.module->name() == name)
            return entry.module.get();
    return nullptr;
}

} // namespace modhost
