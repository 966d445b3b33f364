// Logger cases: one file-logger line at default settings (mutex, file choice, open, write, close),
// beside the raw open/write/close of the same bytes.
#include "BenchCase.h"

#include "common/UniqueHandle.h"

#include "logging/FileLogPaths.h"
#include "logging/FileLogging.h"

#include <string>

namespace {

constexpr int kRepetitions = 9;
constexpr int kLinesPerRepetition = 400;

std::wstring benchFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"ksbench_logger_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
}

void removeTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW data{};
    Keelwork::unique_find find(FindFirstFileW((folder + L"*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(folder + name + L"\\");
            else
                DeleteFileW((folder + name).c_str());
        } while (FindNextFileW(find.get(), &data));
    }
    RemoveDirectoryW(folder.c_str());
}

// The raw work a line cannot avoid: open the file for appending, write the line, close it.
void rawLine(const std::wstring& path, const std::wstring& line)
{
    Keelwork::unique_handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
}

std::vector<std::pair<std::string, ksbench::Figure>> loggerCases()
{
    const std::wstring base = benchFolder();
    removeTree(base);
    ETWLogging::createFolderTree(base);

    ETWLogging::FileLoggerSeams seams;
    seams.baseFolder = base;
    ETWLogging::CLogging logger(seams);
    logger.initialize(L"bench", nullptr, L"host");
    const std::wstring message = L"Now launching task \"defaultscan\" with command line \"C:\\Program Files\\scan.exe\"";
    // The same bytes a line of the logger holds: timestamp, header, image field, message, line end.
    const std::wstring rawPath = base + L"raw.log";
    const std::wstring line = L"01/01/2024 12:00:00 PM$ -- (Information)$ [    ksbench.exe]$ " + message + L"\r\n";

    const ksbench::Figure perLine = ksbench::compare(
        kRepetitions, kLinesPerRepetition,
        [&] { logger.writeLine(3, "SingleTask.cpp", "CSingleTask::Launch", 312, message); },
        [&] { rawLine(rawPath, line); });

    logger.close();
    removeTree(base);

    const ksbench::Figure rate{1e6 / perLine.value, -1, "lines/s"};
    return {{"logger.line", perLine}, {"logger.lines_per_second", rate}};
}

const ksbench::Register registerLogger("logger", loggerCases);

} // namespace
