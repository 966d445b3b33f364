// Taking the command line apart: the verb, its task name and its options, each checked here so
// that every command after it has what it needs.
#include "CommandLine.h"

#include "insight/InsightRequest.h"

#include <cwctype>

namespace KsTaskTool {

const wchar_t kUsageText[] =
    L"usage: kstask <command> [--json]\n"
    L"  list [--all]                 the enabled tasks (--all: the disabled ones too), by next run\n"
    L"  explain [--] NAME            why the task runs or waits\n"
    L"  history [-n N] [--] NAME     its last launch outcomes, newest first (20 unless N is given)\n"
    L"  preview [-n N] [--] NAME     its next runs (5 unless N is given, at most 100)\n"
    L"  preview --weekly DAYS HH:MM | --daily HH:MM | --every SECONDS [-n N]\n"
    L"                               the next runs of a schedule; DAYS like Mon,Fri\n"
    L"  run [--] NAME                asks the running engine to run the task now; prints its answer\n"
    L"  --json                       the same JSON text the bus replies give\n"
    L"  --                           ends the options: what follows is the command and its NAME,\n"
    L"                               even when it starts with '-'\n"
    L"exit codes: 0 done; 1 no task of that name, or (run) the engine refused or did not answer;\n"
    L"            2 bad usage; 3 the registry cannot be read (or, for run, the engine may not be\n"
    L"            signalled): access denied is never taken for \"nothing there\"\n";

namespace {

constexpr const wchar_t* kDayNames[] = {L"sun", L"mon", L"tue", L"wed", L"thu", L"fri", L"sat"};

// A whole number of at most nine digits: no sign, no spaces, nothing after it.
std::optional<unsigned> wholeNumber(const std::wstring& text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    unsigned value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    return value;
}

// "03:30" or "3:30" as hour and minute, in the create request's text form.
bool takeClockTime(const std::wstring& text, Command& command)
{
    const size_t colon = text.find(L':');
    if (colon == std::wstring::npos || text.size() - colon != 3)
        return false;
    const auto hour = wholeNumber(text.substr(0, colon));
    const auto minute = wholeNumber(text.substr(colon + 1));
    if (!hour || !minute || colon > 2 || *hour > 23 || *minute > 59)
        return false;
    command.schedule.emplace_back(L"hour", std::to_wstring(*hour));
    command.schedule.emplace_back(L"minute", std::to_wstring(*minute));
    return true;
}

// "Mon,Fri" as the create request's day digits: '1' Sunday ... '7' Saturday.
std::optional<std::wstring> dayDigits(const std::wstring& text)
{
    std::wstring digits;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L',', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring day = text.substr(start, end - start);
        for (wchar_t& c : day)
            c = static_cast<wchar_t>(std::towlower(c));
        size_t found = 0;
        while (found < 7 && day != kDayNames[found])
            ++found;
        if (found == 7)
            return std::nullopt;
        digits.push_back(static_cast<wchar_t>(L'1' + found));
        start = end + 1;
    }
    return digits;
}

class Reader {
public:
    explicit Reader(const std::vector<std::wstring>& args) : m_args(args) {}
    bool more() const { return m_next < m_args.size(); }
    const std::wstring& take() { return m_args[m_next++]; }
    std::optional<std::wstring> takeValue() { return more() ? std::optional<std::wstring>(take()) : std::nullopt; }

private:
    const std::vector<std::wstring>& m_args;
    size_t m_next = 0;
};

// One schedule option and its values; false when they do not read.
bool takeSchedule(const std::wstring& option, Reader& reader, Command& command)
{
    if (!command.schedule.empty())
        return false;
    if (option == L"--every") {
        const auto value = reader.takeValue();
        const auto seconds = value ? wholeNumber(*value) : std::nullopt;
        if (!seconds || *seconds == 0)
            return false;
        command.schedule.emplace_back(L"defaultFreq", std::to_wstring(*seconds));
        return true;
    }
    std::optional<std::wstring> days = std::wstring(L"1234567");
    if (option == L"--weekly") {
        const auto value = reader.takeValue();
        days = value ? dayDigits(*value) : std::nullopt;
        if (!days)
            return false;
    }
    command.schedule.emplace_back(L"interval", option == L"--weekly" ? L"weekly" : L"none");
    command.schedule.emplace_back(L"daysOfWeek", *days);
    const auto time = reader.takeValue();
    return time && takeClockTime(*time, command);
}

// The command's verb, then its one name.
bool takeOperand(const std::wstring& arg, Command& command, bool& verbSeen)
{
    static const std::pair<const wchar_t*, Verb> kVerbs[] = {{L"list", Verb::list},       {L"explain", Verb::explain},
                                                              {L"history", Verb::history}, {L"preview", Verb::preview},
                                                              {L"run", Verb::run}};
    if (!verbSeen) {
        verbSeen = true;
        for (const auto& [word, verb] : kVerbs)
            if (arg == word)
                command.verb = verb;
        return command.verb != Verb::help;
    }
    if (!command.name.empty() || arg.empty())
        return false;  // a second name, or an empty one
    command.name = arg;
    return true;
}

bool takeArgument(const std::wstring& arg, Reader& reader, Command& command, bool& verbSeen)
{
    if (arg == L"--json") {
        command.json = true;
    } else if (arg == L"--all") {
        command.all = true;
    } else if (arg == L"-n") {
        const auto value = reader.takeValue();
        command.count = value ? wholeNumber(*value) : std::nullopt;
        return command.count.has_value();
    } else if (arg == L"--weekly" || arg == L"--daily" || arg == L"--every") {
        return takeSchedule(arg, reader, command);
    } else if (!arg.empty() && arg[0] == L'-') {
        return false;  // an option this tool does not have; after "--" it would be a name
    } else {
        return takeOperand(arg, command, verbSeen);
    }
    return true;
}

// What each verb takes, and nothing else.
bool fitsVerb(const Command& c)
{
    const bool named = !c.name.empty();
    const bool scheduled = !c.schedule.empty();
    switch (c.verb) {
    case Verb::list: return !named && !c.count && !scheduled;
    case Verb::explain:
    case Verb::run: return named && !c.all && !c.count && !scheduled;
    case Verb::history: return named && !c.all && !scheduled && (!c.count || *c.count >= 1);
    case Verb::preview:
        return named != scheduled && !c.all &&
               (!c.count || (*c.count >= 1 && *c.count <= KsInsight::kMostPreviewRuns));
    case Verb::help: return false;
    }
    return false;
}

} // namespace

std::optional<Command> parseCommandLine(const std::vector<std::wstring>& args)
{
    Command command;
    if (args.size() == 1 && (args[0] == L"--help" || args[0] == L"-h" || args[0] == L"/?"))
        return command;
    Reader reader(args);
    bool verbSeen = false;
    bool optionsEnded = false;
    while (reader.more()) {
        const std::wstring& arg = reader.take();
        if (!optionsEnded && arg == L"--")
            optionsEnded = true;
        else if (!(optionsEnded ? takeOperand(arg, command, verbSeen) : takeArgument(arg, reader, command, verbSeen)))
            return std::nullopt;
    }
    if (!fitsVerb(command))
        return std::nullopt;
    return command;
}

} // namespace KsTaskTool
