// Runs scenario commands against the host's bus, its message journal and its modules, printing
// what each one did.
#pragma once

#include "ScenarioCommand.h"

namespace modhost {

class HostBus;
class MessageJournal;
class ModuleSet;
class StandIns;

enum class Outcome {
    Continue,
    Stop,       // the scenario asked to end
    Failed,     // an expect saw nothing that matched, an absent saw a match, a registry write failed
    Malformed,  // the command cannot run as written (for example an unknown module)
};

class ScenarioRunner {
public:
    ScenarioRunner(HostBus& bus, MessageJournal& journal, ModuleSet& modules, StandIns& standIns)
        : m_bus(bus), m_journal(journal), m_modules(modules), m_standIns(standIns)
    {
    }

    Outcome execute(const Command& command);

private:
    void publish(const Command& command);
    void request(const Command& command);
    Outcome direct(const Command& command);
    Outcome call(const Command& command);
    Outcome expect(const Command& command);
    Outcome absent(const Command& command);
    void forget(const Command& command);
    Outcome answer(const Command& command);
    Outcome setRegistryValue(const Command& command);

    HostBus& m_bus;
    MessageJournal& m_journal;
    ModuleSet& m_modules;
    StandIns& m_standIns;
};

} // namespace modhost
