// Refuses a core library whose exact build the host has recorded as not to be loaded.
#pragma once

#include <string>

namespace Tessel {

// True when `fileName` is a core library and the FileVersion of the file at `fullPath` equals
// the version recorded under the block-list key for that name. Other names, a missing key or
// an unreadable version are never blocked.
bool isBlockedLibrary(const std::wstring& fileName, const std::wstring& fullPath);

// True for the four core library names, compared in lower case.
bool isCoreLibrary(const std::wstring& fileName);

// The "FileVersion" text of a file's version resource; false when it has none.
bool readFileVersion(const std::wstring& path, std::wstring& version);

} // namespace Tessel
