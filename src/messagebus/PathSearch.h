// Finds the first directory, in the caller's order, that holds a given file.
#pragma once

#include "message/ModuleStatus.h"

#include <string>
#include <vector>

namespace Tessel {

class PathSearch {
public:
    // On success `foundDirectory` is the directory as given (no trailing separator added);
    // MODULE_STATUS_NOT_FOUND when no directory holds the file.
    static ModuleStatus findFilePath(const std::wstring& file, const std::vector<std::wstring>& directories,
                                     std::wstring& foundDirectory);

    // True for an existing file (not a directory).
    static bool checkIfExists(const std::wstring& path);

    // Joins a directory and a file name with exactly one separator.
    static std::wstring join(const std::wstring& directory, const std::wstring& file);
};

} // namespace Tessel
