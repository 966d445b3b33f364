// The actions sample-task.exe can perform; each answers 0 or the Windows error code it met.
#pragma once

#include <string>

namespace sampletask {

// Waits the given number of milliseconds.
unsigned long sleepFor(unsigned long milliseconds);

// Opens the named event (it must exist) and sets it.
unsigned long setNamedEvent(const std::wstring& name);

// Waits, at most `milliseconds`, until the named event (it must exist) is set; 258 (timeout)
// when it was not.
unsigned long waitForNamedEvent(const std::wstring& name, unsigned long milliseconds);

// Starts `count` copies of this program with the arguments argv[from..argc-1], not waiting for them.
unsigned long startChildren(unsigned long count, int argc, wchar_t** argv, int from);

// Keeps the processor busy until this process has used `milliseconds` more of processor time.
unsigned long spinFor(unsigned long milliseconds);

// Commits and writes `megabytes` of memory, held until the program ends.
unsigned long touchMemory(unsigned long megabytes);

// Ends the program as an unhandled access violation would, with exit code 0xC0000005, without
// handing the fault to a debugger (Wine would otherwise start its own).
[[noreturn]] void crash();

// Appends one report record to `path` (created with a UTF-16LE byte-order mark when absent).
// The record is UTF-16LE text, one "key=value" per line, ending with the line "end":
//   cmdline=<GetCommandLineW()>
//   cwd=<current directory>
//   priority=<GetPriorityClass() in hexadecimal, e.g. 0x20>
//   argc=<number of arguments>
//   argv[0]=<first argument> ... argv[argc-1]=<last argument>
//   end
// Lines end with CR LF.
unsigned long appendReport(const std::wstring& path, int argc, wchar_t** argv);

} // namespace sampletask
