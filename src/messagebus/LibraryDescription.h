// What the loader needs to find a library: its file name and the directories to search, in
// order, each of which may hold path macros.
#pragma once

#include <string>
#include <vector>

namespace Tessel {

struct LibraryDescription {
    std::wstring fileName;
    std::vector<std::wstring> searchDirectories;
};

} // namespace Tessel
