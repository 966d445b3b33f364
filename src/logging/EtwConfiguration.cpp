// ETW logger configuration from the registry and the module's version resource.
#include "logging/EtwConfiguration.h"

#include "common/WinInclude.h"
#include "logging/FileLogPaths.h"
#include "logging/LoggingIf.h"
#include "logging/LoggingNames.h"
#include "logging/LoggingRegistry.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace ETWLogging {

void CETWConfigurationListener::readConfiguration(CLoggingIf_ex& logger)
{
    uint32_t enable = 1;
    uint32_t severity = 3;
    readLoggingNumber(kEtwEnableValue, enable);
    readLoggingNumber(kEtwSeverityValue, severity);
    logger.configure(enable != 0, std::clamp<uint32_t>(severity, 1, 6));
}

namespace internal {

namespace {

std::wstring versionText(DWORD high, DWORD low)
{
    wchar_t text[48];
    _snwprintf(text, 48, L"%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
    text[47] = L'\0';
    return text;
}

} // namespace

ETWAppProperties ETWAppProperties::collect(HINSTANCE__* module, const wchar_t* group)
{
    ETWAppProperties properties;
    properties.processImageName = fileNameOf(modulePath(nullptr));
    properties.group = group ? group : L"";

    std::wstring path = modulePath(module);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return properties;
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return properties;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) || !info)
        return properties;
    properties.fileVersion = versionText(info->dwFileVersionMS, info->dwFileVersionLS);
    properties.productVersion = versionText(info->dwProductVersionMS, info->dwProductVersionLS);
    return properties;
}

} // namespace internal

} // namespace ETWLogging
