// KsModuleNameFromCLSID: a class's server path from the registry, split into its file name.
#include "execution/ModuleFromClsid.h"

#include "logging/internal_logging.h"
#include "registry/RegKey.h"

#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {

// The machine's classes, read through HKEY_LOCAL_MACHINE rather than the merged
// HKEY_CLASSES_ROOT view: the service's classes are the machine's.
constexpr wchar_t kClassesKey[] = L"SOFTWARE\\Classes\\CLSID\\";
constexpr const wchar_t* kServerKeys[] = {L"InprocServer32", L"LocalServer32"};

LONG readDefaultValue(const std::wstring& keyPath, std::wstring& value)
{
    Keelwork::CRegKey key;
    LONG status = key.open(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_QUERY_VALUE | KEY_WOW64_64KEY);
    DWORD type = REG_SZ;
    if (status == ERROR_SUCCESS)
        status = key.getStringValue(nullptr, value, &type);
    if (status == ERROR_SUCCESS && value.empty())
        status = ERROR_FILE_NOT_FOUND;
    if (status == ERROR_SUCCESS && type == REG_EXPAND_SZ) {
        DWORD chars = ::ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
        std::vector<wchar_t> expanded(chars);
        if (chars == 0 || ::ExpandEnvironmentStringsW(value.c_str(), expanded.data(), chars) == 0)
            return static_cast<LONG>(::GetLastError());
        value = expanded.data();
    }
    return status;
}

bool isExistingFile(const std::wstring& path)
{
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A server value may be a command line: a quoted path, or an unquoted one followed by arguments.
// An unquoted path with blanks is taken up to the first blank where an existing file ends.
std::wstring programPathOf(const std::wstring& commandLine)
{
    if (!commandLine.empty() && commandLine.front() == L'"') {
        size_t close = commandLine.find(L'"', 1);
        return commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    for (size_t blank = commandLine.find(L' '); blank != std::wstring::npos; blank = commandLine.find(L' ', blank + 1)) {
        std::wstring candidate = commandLine.substr(0, blank);
        if (isExistingFile(candidate))
            return candidate;
    }
    if (isExistingFile(commandLine))
        return commandLine;
    return commandLine.substr(0, commandLine.find(L' '));
}

DWORD KsModulePathFromCLSID(const wchar_t* clsid, std::wstring& path)
{
    if (clsid == nullptr || *clsid == L'\0')
        return ERROR_INVALID_PARAMETER;
    LONG status = ERROR_FILE_NOT_FOUND;
    for (const wchar_t* server : kServerKeys) {
        std::wstring value;
        status = readDefaultValue(kClassesKey + std::wstring(clsid) + L"\\" + server, value);
        if (status == ERROR_SUCCESS) {
            path = programPathOf(value);
            return 0;
        }
    }
    return static_cast<DWORD>(status);
}

errno_t fileNameOf(const std::wstring& path, std::wstring& fileName)
{
    wchar_t drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
    errno_t result = _wsplitpath_s(path.c_str(), drive, _MAX_DRIVE, dir, _MAX_DIR, name, _MAX_FNAME, ext, _MAX_EXT);
    if (result == 0)
        fileName = std::wstring(name) + ext;
    return result;
}

} // namespace

DWORD KsModuleNameFromCLSID(const wchar_t* clsid, std::wstring& moduleName, std::wstring& longModuleName)
{
    std::wstring path;
    if (DWORD result = KsModulePathFromCLSID(clsid, path); result != 0) {
        KSLOG_ERROR(L"KsModuleNameFromCLSID failed, result of KsModulePathFromCLSID: %d", static_cast<int>(result));
        return result;
    }
    if (errno_t result = fileNameOf(path, moduleName); result != 0) {
        KSLOG_ERROR(L"KsModuleNameFromCLSID failed, result of _tsplitpath_s is (%d)\n", result);
        return static_cast<DWORD>(result);
    }
    DWORD chars = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    std::vector<wchar_t> longPath(chars);
    if (chars == 0 || ::GetLongPathNameW(path.c_str(), longPath.data(), chars) == 0) {
        DWORD error = ::GetLastError();
        KSLOG_ERROR(L"KsModuleNameFromCLSID failed, GetLastError() after GetLongPathName is (%d)\n", static_cast<int>(error));
        return error;
    }
    if (errno_t result = fileNameOf(longPath.data(), longModuleName); result != 0) {
        KSLOG_ERROR(L"KsModuleNameFromCLSID failed, result of _tsplitpath_s for long name is (%d)\n", result);
        return static_cast<DWORD>(result);
    }
    KSLOG_NORMAL(L"KsModuleNameFromCLSID(): The long path name is %s", longPath.data());
    return 0;
}
