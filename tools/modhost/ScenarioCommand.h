// One line of a scenario parsed into a command. Lines are "<command> <arguments>"; a line whose
// first visible character is '#' and a blank line do nothing. Payloads run to the end of the line
// and are passed on unchanged, so malformed JSON can be sent on purpose.
#pragma once

#include "StandInNames.h"

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
    Call,     // call <module> start|stop|destroy: a life-cycle call out of the host's own order
    Watch,    // watch <pattern>
    Expect,   // expect <pattern> <timeout-ms> [substring]
    Absent,   // absent <pattern> <timeout-ms> [substring]: fails if such a message arrives
    Forget,   // forget <pattern>: the messages seen so far that match no longer count
    Answer,   // answer standby|notification-state <answer>
    Registry, // regset <key> <value> dword|string <data>, the key under HKEY_LOCAL_MACHINE
    Sleep,    // sleep <ms>
    Stop,     // stop
};

struct Command {
    CommandKind kind = CommandKind::Nothing;
    std::wstring module;        // direct, call: the module's name
    std::wstring name;          // message name, the pattern's text, regset's key, or call's call
    std::wstring text;          // payload, echo text, the substring an expect looks for, an answer's
                                // reply name, or regset's string data
    uint32_t milliseconds = 0;  // request, expect and absent time-out, sleep
    std::wregex pattern;        // watch, expect, absent, forget: ECMAScript, matched against the whole name
    StandIn standIn = StandIn::Standby;  // answer
    std::wstring valueName;     // regset
    bool dword = false;         // regset: a REG_DWORD holding `number`, else a REG_SZ holding `text`
    uint32_t number = 0;
};

// False with `error` set (what is wrong, and the command's form) for a malformed line.
bool parseCommand(const std::wstring& line, Command& command, std::wstring& error);

} // namespace modhost
