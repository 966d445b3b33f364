// Where scenario lines come from: a UTF-8 file read and checked whole before anything runs, or
// standard input read one line at a time, so a person can type commands while modules run.
#pragma once

#include "ScenarioCommand.h"

#include <cstdio>
#include <string>
#include <vector>

namespace modhost {

struct NumberedCommand {
    unsigned line = 0;
    Command command;
};

// Reads and parses every line of `path`. False with `error` naming the first bad line
// ("<path>:<line>: <what>") or the file that cannot be read.
bool readScenarioFile(const std::wstring& path, std::vector<NumberedCommand>& commands, std::wstring& error);

// Reads one UTF-8 line (without its end) from `stream`; false at the end of input.
bool readLine(FILE* stream, std::wstring& line);

} // namespace modhost
