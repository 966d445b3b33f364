// sample-task.exe: a small real program that tasks run. Its arguments are performed in order:
//   --sleep <ms>          wait that many milliseconds
//   --set-event <name>    set an existing named event
//   --wait-event <name>   wait, at most 30 s, until an existing named event is set
//   --children <n> ...    start n copies of itself with the arguments that follow, then go on
//   --spin <ms>           use that many milliseconds of processor time
//   --touch <mb>          commit and write that many megabytes, held until the end
//   --crash               end as an access violation does (exit code 0xC0000005)
//   --report <file>       append command line, working directory, priority class and argv to
//                         <file> (UTF-16LE, see SampleTaskActions.h for the record format)
//   --exit <code>         exit at once with <code> (decimal, or hexadecimal with 0x)
// Other arguments are ignored, so callers may pass any parameter text. Without --exit the program
// exits with 0, or with the Windows error code of the first action that failed.
#include "SampleTaskActions.h"

#include <cwchar>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    unsigned long firstError = 0;
    auto note = [&](unsigned long error) {
        if (firstError == 0)
            firstError = error;
    };
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == L"--sleep" && hasValue)
            note(sampletask::sleepFor(std::wcstoul(argv[++i], nullptr, 10)));
        else if (arg == L"--set-event" && hasValue)
            note(sampletask::setNamedEvent(argv[++i]));
        else if (arg == L"--wait-event" && hasValue)
            note(sampletask::waitForNamedEvent(argv[++i], 30000));
        else if (arg == L"--children" && hasValue) {
            const unsigned long count = std::wcstoul(argv[++i], nullptr, 10);
            note(sampletask::startChildren(count, argc, argv, i + 1));
        } else if (arg == L"--spin" && hasValue)
            note(sampletask::spinFor(std::wcstoul(argv[++i], nullptr, 10)));
        else if (arg == L"--touch" && hasValue)
            note(sampletask::touchMemory(std::wcstoul(argv[++i], nullptr, 10)));
        else if (arg == L"--crash")
            sampletask::crash();
        else if (arg == L"--report" && hasValue)
            note(sampletask::appendReport(argv[++i], argc, argv));
        else if (arg == L"--exit" && hasValue)
            return static_cast<int>(std::wcstoul(argv[++i], nullptr, 0));
    }
    return static_cast<int>(firstError);
}
