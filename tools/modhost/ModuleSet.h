// The modules of one host run, brought up in the order given (create, initialize, start) and
// taken down in the reverse order (stop, uninitialize, destroy) for as far as each came up.
#pragma once

#include "HostOptions.h"
#include "LoadedModule.h"

#include <memory>
#include <string>
#include <vector>

namespace modhost {

class HostBus;

class ModuleSet {
public:
    // Takes down whatever is still up.
    ~ModuleSet();

    // Loads every library; false with `error` set at the first that fails.
    bool load(const std::vector<ModuleToLoad>& modules, std::wstring& error);
    // Creates, initializes and starts each module; false at the first step a module refuses
    // (the modules already up stay up until takeDown).
    bool bringUp(const HostOptions& options, const HostBus& bus);
    // Stops, uninitializes and destroys, newest module first. False if any step failed.
    bool takeDown();

    // Prints, for each library, how many threads that began in it still run: after the take-down
    // any would run on into the library once it is freed.
    void reportThreadsLeft() const;

    // Null when no module has that name.
    LoadedModule* find(const std::wstring& name);

private:
    struct Entry {
        std::unique_ptr<LoadedModule> module;
        bool initialized = false;
    };
    std::vector<Entry> m_entries;
};

} // namespace modhost
