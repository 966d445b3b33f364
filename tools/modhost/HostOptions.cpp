// Parsing of the host's command line.
#include "HostOptions.h"

namespace modhost {

namespace {

std::wstring fileStem(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    std::wstring file = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = file.rfind(L'.');
    return dot == std::wstring::npos || dot == 0 ? file : file.substr(0, dot);
}

// "<dll>" or "<dll>=<name>".
bool parseModule(const std::wstring& value, ModuleToLoad& module)
{
    size_t equals = value.find(L'=');
    module.path = value.substr(0, equals);
    module.name = equals == std::wstring::npos ? fileStem(module.path) : value.substr(equals + 1);
    return !module.path.empty() && !module.name.empty();
}

} // namespace

bool parseStandInAnswer(StandIn which, const std::wstring& value, std::wstring& reply)
{
    const bool standby = which == StandIn::Standby;
    if (value == (standby ? L"on" : L"fullscreen"))
        reply = standby ? kStandbyOn : kNotificationFullScreen;
    else if (value == (standby ? L"off" : L"normal"))
        reply = standby ? kStandbyOff : kNotificationNormal;
    else if (value.find(L'.') != std::wstring::npos)
        reply = value;
    else
        return false;
    return true;
}

const wchar_t* hostUsage()
{
    return L"usage: modhost.exe [options] [scenario-file | -]\n"
           L"  --module <dll>[=<name>]       load a module and drive its life (repeatable);\n"
           L"                                <name> is its name and alias (default: the file name)\n"
           L"  --bus <dll>                   the bus library (default: MessageBus.dll beside modhost.exe)\n"
           L"  --init v1|v2                  v2 (default): hand the host's bus to InitializeModuleV2;\n"
           L"                                v1: InitializeModule, the module opens the bus itself\n"
           L"  --setting <key>=<value>       a host setting for every module (repeatable)\n"
           L"  --standby on|off|<reply>      answer SystemMonitor.ConnectedStandby.Status.Request\n"
           L"  --notification-state fullscreen|normal|<reply>\n"
           L"                                answer SessionMonitor.Get.NotificationState\n"
           L"  --installer-complete          publish Core.Installer.Complete once modules have started\n"
           L"  --check                       only check the scenario file, load nothing\n"
           L"Scenario commands, one per line (default: read from standard input):\n"
           L"  publish <name> [payload]      request <name> <timeout-ms> [payload]\n"
           L"  direct <module> <name> [payload]\n"
           L"  call <module> start|stop|destroy   a life-cycle call out of the host's own order\n"
           L"  watch <pattern>               expect <pattern> <timeout-ms> [substring]\n"
           L"  absent <pattern> <timeout-ms> [substring]   (fails if such a message arrives)\n"
           L"  forget <pattern>              the messages seen so far that match no longer count\n"
           L"  answer standby|notification-state <answer>   switch a stand-in's answer\n"
           L"  regset <key> <value> dword|string <data>     write a value under HKEY_LOCAL_MACHINE\n"
           L"  sleep <ms>    echo <text>    stop    # comment\n"
           L"Exit: 0 done, 1 an expect, absent or regset failed, 2 bad command line or scenario,\n"
           L"3 a library or module failed.";
}

bool parseHostOptions(int argc, const wchar_t* const* argv, HostOptions& options, std::wstring& error)
{
    options = HostOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--help" || arg == L"-h") {
            options.help = true;
            continue;
        }
        if (arg.rfind(L"--", 0) != 0 || arg == L"-") {
            if (!options.scenarioPath.empty()) {
                error = L"more than one scenario given: '" + options.scenarioPath + L"' and '" + arg + L"'";
                return false;
            }
            options.scenarioPath = arg;
            continue;
        }
        if (arg == L"--installer-complete") {
            options.installerComplete = true;
            continue;
        }
        if (arg == L"--check") {
            options.checkOnly = true;
            continue;
        }
        static const wchar_t* const kValueOptions[] = {L"--module", L"--bus", L"--init", L"--setting", L"--standby",
                                                       L"--notification-state"};
        bool known = false;
        for (const wchar_t* option : kValueOptions)
            known = known || arg == option;
        if (!known) {
            error = L"unknown option " + arg;
            return false;
        }
        if (i + 1 >= argc) {
            error = arg + L" needs a value";
            return false;
        }
        const std::wstring value = argv[++i];
        bool ok = true;
        if (arg == L"--module") {
            ModuleToLoad module;
            ok = parseModule(value, module);
            options.modules.push_back(module);
        } else if (arg == L"--bus") {
            options.busPath = value;
        } else if (arg == L"--init") {
            ok = value == L"v1" || value == L"v2";
            options.hostBus = value != L"v1";
        } else if (arg == L"--setting") {
            size_t equals = value.find(L'=');
            ok = equals != std::wstring::npos && equals > 0;
            if (ok)
                options.settings.emplace_back(value.substr(0, equals), value.substr(equals + 1));
        } else if (arg == L"--standby") {
            ok = parseStandInAnswer(StandIn::Standby, value, options.standbyReply);
        } else if (arg == L"--notification-state") {
            ok = parseStandInAnswer(StandIn::NotificationState, value, options.notificationReply);
        }
        if (!ok) {
            error = L"bad value for " + arg + L": '" + value + L"'";
            return false;
        }
    }
    return true;
}

} // namespace modhost
