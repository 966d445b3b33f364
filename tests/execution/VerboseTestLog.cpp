// Lets this test program's file log keep every level, so tests can check Normal and Warning
// lines too: writes Severity 1 into the program's own log.ini before the logger first reads it
// (the logger is created once, after static initialisation). Other programs' logs are untouched.
#include "common/WinInclude.h"
#include "logging/FileLogPaths.h"
#include "logging/LoggingNames.h"

namespace {

const bool verboseLog = [] {
    std::wstring base = ETWLogging::defaultLogBaseFolder();
    if (base.empty())
        return false;
    std::wstring folder = base + ETWLogging::kDefaultGroup + L"\\" +
                         ETWLogging::stripExtension(ETWLogging::fileNameOf(ETWLogging::modulePath(nullptr)));
    if (ETWLogging::createFolderTree(folder) != 0)
        return false;
    return ::WritePrivateProfileStringW(L"Config", L"Severity", L"1", (folder + L"\\log.ini").c_str()) != FALSE;
}();

} // namespace
