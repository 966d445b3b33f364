// The path of a known folder (program data, common program files, ...), with the buffer the
// shell allocates for it freed in this one place.
#pragma once

#include "common/WinInclude.h"

#include <string>

namespace Keelwork {

// True with the folder's path (no trailing backslash); false, leaving `path` untouched, when the
// shell cannot give it.
bool knownFolderPath(const GUID& folderId, std::wstring& path);

} // namespace Keelwork
