// The command line of kstask.exe, taken apart into one command; anything it cannot take is bad
// usage, answered with the usage text.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace KsTaskTool {

enum class Verb { help, list, explain, history, preview, run };

struct Command {
    Verb verb = Verb::help;
    bool json = false;
    bool all = false;              // list: disabled tasks too
    std::wstring name;             // explain, history, preview of a stored task, run
    std::optional<unsigned> count; // -n: history, preview
    // preview of a schedule: the members a create request would carry, in its own text form
    std::vector<std::pair<std::wstring, std::wstring>> schedule;
};

extern const wchar_t kUsageText[];

// nullopt: bad usage.
std::optional<Command> parseCommandLine(const std::vector<std::wstring>& args);

} // namespace KsTaskTool
