// modhost.exe: a module host. Loads module libraries, drives their life through their function
// tables over a bus it opens itself, stands in for the suite modules they ask, and runs a
// scenario of bus commands against them (see hostUsage() for the command line).
#include "HostBus.h"
#include "HostOptions.h"
#include "MessageJournal.h"
#include "ModuleSet.h"
#include "Output.h"
#include "ScenarioRunner.h"
#include "ScenarioSource.h"
#include "StandIns.h"

#include <cstdio>

namespace modhost {
namespace {

std::wstring besideHost(const wchar_t* file)
{
    wchar_t self[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + file;
}

int exitCodeOf(Outcome outcome, unsigned line)
{
    if (outcome == Outcome::Failed) {
        Output::error(L"the scenario failed" + (line ? L" at line " + std::to_wstring(line) : std::wstring()));
        return kExitExpectFailed;
    }
    return outcome == Outcome::Malformed ? kExitMalformed : kExitDone;
}

int runFile(ScenarioRunner& runner, const std::vector<NumberedCommand>& script)
{
    for (const NumberedCommand& numbered : script) {
        Outcome outcome = runner.execute(numbered.command);
        if (outcome != Outcome::Continue)
            return exitCodeOf(outcome, numbered.line);
    }
    return kExitDone;
}

int runStdin(ScenarioRunner& runner)
{
    std::wstring line;
    for (unsigned number = 1; readLine(stdin, line); ++number) {
        Command command;
        std::wstring error;
        if (!parseCommand(line, command, error)) {
            Output::error(L"line " + std::to_wstring(number) + L": " + error);
            return kExitMalformed;
        }
        Outcome outcome = runner.execute(command);
        if (outcome != Outcome::Continue)
            return exitCodeOf(outcome, number);
    }
    return kExitDone;
}

int runModules(const HostOptions& options, const std::vector<NumberedCommand>& script, HostBus& bus,
               MessageJournal& journal, StandIns& standIns)
{
    ModuleSet modules;
    std::wstring error;
    if (!modules.load(options.modules, error)) {
        Output::error(error);
        return kExitHostFailure;
    }
    int code = kExitHostFailure;
    if (modules.bringUp(options, bus)) {
        announceInstallerComplete(bus, options);
        ScenarioRunner runner(bus, journal, modules, standIns);
        bool fromStdin = options.scenarioPath.empty() || options.scenarioPath == L"-";
        code = fromStdin ? runStdin(runner) : runFile(runner, script);
    } else {
        Output::error(L"a module did not come up; taking the others down");
    }
    if (!modules.takeDown() && code == kExitDone)
        code = kExitHostFailure;
    modules.reportThreadsLeft();
    return code;
}

int runHost(int argc, wchar_t** argv)
{
    HostOptions options;
    std::wstring error;
    if (!parseHostOptions(argc, argv, options, error)) {
        Output::error(error + L"\n" + hostUsage());
        return kExitMalformed;
    }
    if (options.help) {
        Output::plain(hostUsage());
        return kExitDone;
    }
    std::vector<NumberedCommand> script;
    bool fromFile = !options.scenarioPath.empty() && options.scenarioPath != L"-";
    // A file is checked whole first, so a typo on its last line costs no module start.
    if (fromFile && !readScenarioFile(options.scenarioPath, script, error)) {
        Output::error(error);
        return kExitMalformed;
    }
    if (options.checkOnly) {
        if (!fromFile) {
            Output::error(L"--check needs a scenario file");
            return kExitMalformed;
        }
        Output::plain(options.scenarioPath + L": " + std::to_wstring(script.size()) + L" lines, all well formed");
        return kExitDone;
    }
    // Both outlive the bus, whose subscriptions call into them until the bus is released.
    MessageJournal journal;
    StandIns standIns;
    std::unique_ptr<HostBus> bus =
        HostBus::open(options.busPath.empty() ? besideHost(L"MessageBus.dll") : options.busPath, error);
    if (!bus) {
        Output::error(error);
        return kExitHostFailure;
    }
    if (!bus->subscribePattern(L".*", [&journal](const SeenMessage& seen) { journal.onBusMessage(seen); }) ||
        !standIns.install(*bus, options)) {
        Output::error(L"the bus refused the host's subscriptions");
        return kExitHostFailure;
    }
    return runModules(options, script, *bus, journal, standIns);
}

} // namespace
} // namespace modhost

int wmain(int argc, wchar_t** argv)
{
    try {
        return modhost::runHost(argc, argv);
    } catch (...) {
        // Out of memory or a library throwing where it must not: the run cannot be trusted.
        modhost::Output::error(L"stopped by an unexpected failure");
        return modhost::kExitHostFailure;
    }
}
