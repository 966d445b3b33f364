// Parsing of scenario lines into commands.
#include "ScenarioCommand.h"

#include "HostOptions.h"

#include <cwctype>
#include <string_view>

namespace modhost {

namespace {

// Splits a line into leading words and the text that is left.
class Words {
public:
    explicit Words(std::wstring_view line) : m_rest(line) {}

    std::wstring next()
    {
        skipSpace();
        size_t end = 0;
        while (end < m_rest.size() && !std::iswspace(m_rest[end]))
            ++end;
        std::wstring word(m_rest.substr(0, end));
        m_rest.remove_prefix(end);
        return word;
    }

    // The rest of the line after one separating space run, trailing white space removed.
    std::wstring rest()
    {
        skipSpace();
        size_t end = m_rest.size();
        while (end > 0 && std::iswspace(m_rest[end - 1]))
            --end;
        return std::wstring(m_rest.substr(0, end));
    }

private:
    void skipSpace()
    {
        while (!m_rest.empty() && std::iswspace(m_rest.front()))
            m_rest.remove_prefix(1);
    }

    std::wstring_view m_rest;
};

bool parseUnsigned(const std::wstring& word, uint32_t& value)
{
    if (word.empty() || word.size() > 10)
        return false;
    uint64_t number = 0;
    for (wchar_t c : word) {
        if (c < L'0' || c > L'9')
            return false;
        number = number * 10 + static_cast<uint64_t>(c - L'0');
    }
    if (number > 0xFFFFFFFFull)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool compilePattern(const std::wstring& text, std::wregex& pattern, std::wstring& error)
{
    try {
        pattern.assign(text, std::regex_constants::ECMAScript);
        return true;
    } catch (const std::regex_error&) {
        error = L"'" + text + L"' is not a valid pattern";
        return false;
    }
}

bool fail(std::wstring& error, const wchar_t* form)
{
    error = std::wstring(L"expected \"") + form + L"\"";
    return false;
}

bool parseEcho(const std::wstring& line, Command& command)
{
    command.kind = CommandKind::Echo;
    // Narration keeps its own spacing: only the one space after the word goes.
    size_t start = line.find(L"echo") + 4;
    if (start < line.size() && line[start] == L' ')
        ++start;
    command.text = line.substr(start);
    while (!command.text.empty() && (command.text.back() == L'\r' || command.text.back() == L'\n'))
        command.text.pop_back();
    return true;
}

// The commands that name a message pattern: alone, or with a time-out and an optional substring.
struct PatternVerb {
    const wchar_t* verb;
    CommandKind kind;
    bool timed;
    const wchar_t* form;
};

constexpr PatternVerb kPatternVerbs[] = {
    {L"watch", CommandKind::Watch, false, L"watch <pattern>"},
    {L"forget", CommandKind::Forget, false, L"forget <pattern>"},
    {L"expect", CommandKind::Expect, true, L"expect <pattern> <timeout-ms> [substring]"},
    {L"absent", CommandKind::Absent, true, L"absent <pattern> <timeout-ms> [substring]"},
};

const PatternVerb* findPatternVerb(const std::wstring& verb)
{
    for (const PatternVerb& candidate : kPatternVerbs)
        if (verb == candidate.verb)
            return &candidate;
    return nullptr;
}

bool parsePatternCommand(const PatternVerb& verb, Words& words, Command& command, std::wstring& error)
{
    command.kind = verb.kind;
    command.name = words.next();
    if (command.name.empty())
        return fail(error, verb.form);
    if (verb.timed) {
        if (!parseUnsigned(words.next(), command.milliseconds))
            return fail(error, verb.form);
        command.text = words.rest();
    } else if (!words.rest().empty()) {
        return fail(error, verb.form);
    }
    return compilePattern(command.name, command.pattern, error);
}

bool parseAnswer(Words& words, Command& command, std::wstring& error)
{
    command.kind = CommandKind::Answer;
    const std::wstring which = words.next();
    const std::wstring value = words.next();
    if ((which != L"standby" && which != L"notification-state") || !words.rest().empty())
        return fail(error, L"answer standby|notification-state <answer>");
    command.standIn = which == L"standby" ? StandIn::Standby : StandIn::NotificationState;
    if (!parseStandInAnswer(command.standIn, value, command.text)) {
        error = L"'" + value + L"' is no answer of " + which;
        return false;
    }
    return true;
}

bool parseRegistry(Words& words, Command& command, std::wstring& error)
{
    command.kind = CommandKind::Registry;
    command.name = words.next();
    command.valueName = words.next();
    const std::wstring type = words.next();
    command.text = words.rest();
    command.dword = type == L"dword";
    const bool typed = command.dword ? parseUnsigned(command.text, command.number) : type == L"string";
    if (command.name.empty() || command.valueName.empty() || !typed)
        return fail(error, L"regset <key> <value> dword <number> | regset <key> <value> string <text>");
    return true;
}

} // namespace

bool parseCommand(const std::wstring& line, Command& command, std::wstring& error)
{
    command = Command{};
    Words words(line);
    const std::wstring verb = words.next();
    if (verb.empty() || verb.front() == L'#')
        return true;
    if (verb == L"echo")
        return parseEcho(line, command);
    if (verb == L"stop") {
        command.kind = CommandKind::Stop;
        return words.rest().empty() || fail(error, L"stop");
    }
    if (verb == L"publish") {
        command.kind = CommandKind::Publish;
        command.name = words.next();
        command.text = words.rest();
        return !command.name.empty() || fail(error, L"publish <name> [payload]");
    }
    if (verb == L"request") {
        command.kind = CommandKind::Request;
        command.name = words.next();
        if (command.name.empty() || !parseUnsigned(words.next(), command.milliseconds))
            return fail(error, L"request <name> <timeout-ms> [payload]");
        command.text = words.rest();
        return true;
    }
    if (verb == L"direct") {
        command.kind = CommandKind::Direct;
        command.module = words.next();
        command.name = words.next();
        command.text = words.rest();
        return !command.name.empty() || fail(error, L"direct <module> <name> [payload]");
    }
    if (verb == L"call") {
        command.kind = CommandKind::Call;
        command.module = words.next();
        command.name = words.next();
        const bool known = command.name == L"start" || command.name == L"stop" || command.name == L"destroy";
        return (!command.module.empty() && known && words.rest().empty()) ||
               fail(error, L"call <module> start|stop|destroy");
    }
    if (const PatternVerb* patternVerb = findPatternVerb(verb))
        return parsePatternCommand(*patternVerb, words, command, error);
    if (verb == L"answer")
        return parseAnswer(words, command, error);
    if (verb == L"regset")
        return parseRegistry(words, command, error);
    if (verb == L"sleep") {
        command.kind = CommandKind::Sleep;
        if (!parseUnsigned(words.next(), command.milliseconds) || !words.rest().empty())
            return fail(error, L"sleep <ms>");
        return true;
    }
    error = L"unknown command '" + verb + L"'";
    return false;
}

} // namespace modhost
