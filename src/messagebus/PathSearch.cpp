// Search of a file along an ordered list of directories.
#include "messagebus/PathSearch.h"

#include "common/WinInclude.h"
#include "logging/internal_logging.h"

namespace Tessel {

ModuleStatus PathSearch::findFilePath(const std::wstring& file, const std::vector<std::wstring>& directories,
                                      std::wstring& foundDirectory)
{
    KSLOG_NORMAL(L"Entering findFilePath for file %ls", file.c_str());
    for (const std::wstring& directory : directories) {
        std::wstring candidate = join(directory, file);
        if (checkIfExists(candidate)) {
            foundDirectory = directory;
            KSLOG_NORMAL(L"File found at path %ls. Returning success.", candidate.c_str());
            return MODULE_STATUS_SUCCESS;
        }
    }
    KSLOG_WARNING(L"File not found.");
    return MODULE_STATUS_NOT_FOUND;
}

bool PathSearch::checkIfExists(const std::wstring& path)
{
    KSLOG_NORMAL(L"Entering checkIfExists for %ls", path.c_str());
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        KSLOG_NORMAL(L"File exists");
        return true;
    }
    KSLOG_WARNING(L"File does not exist.");
    return false;
}

std::wstring PathSearch::join(const std::wstring& directory, const std::wstring& file)
{
    if (directory.empty())
        return file;
    wchar_t last = directory.back();
    if (last == L'\\' || last == L'/')
        return directory + file;
    return directory + L"\\" + file;
}

} // namespace Tessel
