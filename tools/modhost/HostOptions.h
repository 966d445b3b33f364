// The host's command line: which modules to drive, how they get their bus, the settings handed to
// them, what the stand-ins answer, and where the scenario comes from.
#pragma once

#include "StandInNames.h"

#include <string>
#include <utility>
#include <vector>

namespace modhost {

// The host's exit codes.
inline constexpr int kExitDone = 0;
inline constexpr int kExitExpectFailed = 1;
inline constexpr int kExitMalformed = 2;     // bad command line or scenario line
inline constexpr int kExitHostFailure = 3;   // a library did not load or a module refused a step

struct ModuleToLoad {
    std::wstring path;
    std::wstring name;  // also the alias; defaults to the file name without its extension
};

struct HostOptions {
    std::vector<ModuleToLoad> modules;
    std::wstring busPath;                  // empty: MessageBus.dll beside the host
    bool hostBus = true;                   // InitializeModuleV2 over the host's bus, else InitializeModule
    std::vector<std::pair<std::wstring, std::wstring>> settings;
    std::wstring standbyReply;             // empty: nobody answers
    std::wstring notificationReply;        // empty: nobody answers
    bool installerComplete = false;        // publish the installer's message once modules started
    std::wstring scenarioPath;             // empty or "-": standard input
    bool checkOnly = false;                // check the scenario file and end, loading nothing
    bool help = false;
};

// False with `error` set when an argument is unknown, lacks its value or has a bad value.
bool parseHostOptions(int argc, const wchar_t* const* argv, HostOptions& options, std::wstring& error);

// The reply a stand-in gives for `value`: its short word ("on", "off"; "fullscreen", "normal") or any
// reply name (it has a dot). False for anything else.
bool parseStandInAnswer(StandIn which, const std::wstring& value, std::wstring& reply);

// What --help prints, without a final line end.
const wchar_t* hostUsage();

} // namespace modhost
