// trust-file.exe <path>...: adds each file to the trusted-file allow-list the way the installer
// does, printing "<digest> <path>: <result>" per file. Exits 1 when any file failed.
#include "execution/TrustedFileList.h"

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: trust-file <path>...\n");
        return 2;
    }
    int exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        std::wstring digest;
        DWORD result = KsExecution::trustFile(argv[i], &digest);
        std::wprintf(L"%ls %ls: %lu\n", digest.empty() ? L"-" : digest.c_str(), argv[i], result);
        if (result != 0)
            exitCode = 1;
    }
    return exitCode;
}
