// Runs modhost.exe as a real child process on a scenario and collects what it printed and how it
// ended. Every run has a bound; a host that does not end in time is killed and reported.
#pragma once

#include "ProgramFolder.h"
#include "TestFolder.h"

#include <string>
#include <vector>

namespace modhosttest {

// Bound of one host run: a few module starts and waits of at most a few seconds each.
inline constexpr unsigned kRunBoundMs = 60000;

struct HostRun {
    bool ended = false;          // false: killed at the bound
    unsigned long exitCode = 0;
    std::string out;             // standard output, UTF-8
    std::string err;             // standard error, UTF-8

    // The first output line containing every one of `parts`, or "" when none does.
    std::string lineWith(std::initializer_list<const char*> parts) const;
    // Index of the first output line containing `part` at or after `from`, or -1.
    int lineIndex(const char* part, int from = 0) const;
    std::vector<std::string> lines() const;
};

// A scratch folder for one test's scenario and captured output, removed afterwards.
class HostScratch {
public:
    // Runs modhost.exe with `args`, feeding `input` on standard input; the scenario text, when
    // given, becomes its last argument.
    HostRun run(const std::vector<std::wstring>& args, const std::string* scenario = nullptr,
                const std::string& input = "") const;
    // Runs another program of the build (`program`, a file name in binFolder()) the same way.
    HostRun runProgram(const wchar_t* program, const std::vector<std::wstring>& args,
                       const std::string& input = "") const;

private:
    // Writes `text` (UTF-8) as a file in the folder and returns its path.
    std::wstring write(const wchar_t* fileName, const std::string& text) const;

    kstest::TestFolder m_folder;
};

// Folder of the running test program, where the build puts every program and DLL, with its
// closing backslash.
inline std::wstring binFolder()
{
    return kstest::testProgramFolder() + L"\\";
}

// Fails the test unless the host ended within its bound with exit code `code`.
void expectEnded(const HostRun& run, unsigned long code);

} // namespace modhosttest
