// Paths and names of the file logger.
#include "logging/FileLogPaths.h"

#include "common/KnownFolder.h"
#include "common/WinInclude.h"
#include "logging/LoggingNames.h"

#include <knownfolders.h>

#include <cwchar>
#include <cwctype>

namespace ETWLogging {

std::wstring defaultLogBaseFolder()
{
    std::wstring folder;
    if (!Keelwork::knownFolderPath(FOLDERID_ProgramData, folder))
        return {};
    return folder + kCompanyFolder + kLogsFolder + L"\\";
}

std::wstring modulePath(HINSTANCE__* module)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring fileNameOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring stripExtension(const std::wstring& fileName)
{
    size_t dot = fileName.rfind(L'.');
    return dot == std::wstring::npos ? fileName : fileName.substr(0, dot);
}

uint32_t createFolderTree(const std::wstring& folder)
{
    // Walk the path from its root, creating each missing level.
    for (size_t pos = folder.find(L'\\', 3); ; pos = folder.find(L'\\', pos + 1)) {
        std::wstring level = folder.substr(0, pos);
        if (!level.empty() && !CreateDirectoryW(level.c_str(), nullptr)) {
            DWORD error = GetLastError();
            // Existing levels near the root may answer "access denied" instead of "exists".
            DWORD attributes = GetFileAttributesW(level.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return error;
        }
        if (pos == std::wstring::npos)
            return 0;
    }
}

std::wstring logFolderLockName(const std::wstring& folder)
{
    // FNV-1a over the lower-cased folder: object names cannot hold backslashes, and two spellings
    // of one folder must meet on one mutex.
    uint64_t hash = 1469598103934665603ull;
    for (wchar_t c : folder) {
        hash ^= static_cast<uint64_t>(std::towlower(c));
        hash *= 1099511628211ull;
    }
    wchar_t text[24];
    _snwprintf(text, 24, L"%016llX", static_cast<unsigned long long>(hash));
    text[23] = L'\0';
    return std::wstring(kFileLogMutexPrefix) + text;
}

} // namespace ETWLogging
