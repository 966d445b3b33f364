// One line of a scenario parsed into a command. Lines are "<command> <arguments>"; a line whose
// first visible character is '#' and a blank line do nothing. Payloads run to the end of the line
// and are passed on unchanged, so malformed JSON can be sent on purpose.
#pragma once

#include <cstdint>
#include <regex>
#include <string>

namespace modhost {

enum class CommandKind {
    Nothing,  // blank line or comment
    Echo,     // echo <text>
    Publish,  // publish <name> [payload]
    Request,  // request <name> <timeout-ms> [payload]
    Direct,   // direct <module> <name> [payload]
    Watch,    // watch <pattern>
    Expect,   // expect <pattern> <timeout-ms> [substring]
    Sleep,    // sleep <ms>
    Stop,     // stop
};

struct Command {
    CommandKind kind = CommandKind::Nothing;
    std::wstring module;        // direct: the module's name
    std::wstring name;          // message name, or the pattern's text
    std::wstring text;          // payload, echo text, or the substring an expect looks for
    uint32_t milliseconds = 0;  // request and expect time-out, sleep
    std::wregex pattern;        // watch, expect: ECMAScript, matched against the whole name
};

// False with `error` set (what is wrong, and the command's form) for a malformed line.
bool parseCommand(const std::wstring& line, Command& command, std::wstring& error);

} // namespace modhost
