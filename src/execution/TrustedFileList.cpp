// Reading and writing the trusted-file allow-list under HKEY_LOCAL_MACHINE.
#include "execution/TrustedFileList.h"

#include "common/UniqueHandle.h"
#include "execution/FileDigest.h"
#include "platform/PlatformNames.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"

#include <cwchar>

namespace KsExecution {

namespace {

const wchar_t* fileNameOf(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p != L'\0'; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':')
            name = p + 1;
    return name;
}

} // namespace

bool isDigestListed(const std::wstring& hex)
{
    Keelwork::CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, KsPlatform::names::kTrustedFilesKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return false;
    return key.queryValue(hex.c_str(), nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

DWORD trustFile(const wchar_t* path, std::wstring* hex)
{
    if (path == nullptr || *path == L'\0')
        return ERROR_INVALID_PARAMETER;
    Keelwork::unique_handle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = ::GetLastError();
        KSLOG_ERROR(L"Cannot open %s to list it as trusted: %lu", path, error);
        return error;
    }
    std::wstring digest;
    if (!fileSha256Hex(file.get(), digest))
        return ERROR_READ_FAULT;
    if (hex != nullptr)
        *hex = digest;

    // A key created by the installer must not be writable by ordinary users, or anyone could list
    // a program of their own as trusted.
    Keelwork::CRegKey key;
    LONG status =
        key.createSystemOnly(HKEY_LOCAL_MACHINE, KsPlatform::names::kTrustedFilesKey, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
    if (status == ERROR_SUCCESS)
        status = key.setStringValue(digest.c_str(), fileNameOf(path));
    if (status != ERROR_SUCCESS)
        KSLOG_ERROR(L"Cannot list %s as trusted: %ld", path, status);
    return static_cast<DWORD>(status);
}

} // namespace KsExecution
