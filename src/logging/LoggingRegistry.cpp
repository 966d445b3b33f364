// The logger's registry settings, read through the support library's obfuscating key class.
#include "logging/LoggingRegistry.h"

#include "logging/LoggingNames.h"
#include "registry/ObfuscatedRegKey.h"

namespace ETWLogging {

uint32_t readLoggingNumber(const wchar_t* valueName, uint32_t& value)
{
    Keelwork::CObfuscatedRegKey key;
    LONG rc = key.open(HKEY_LOCAL_MACHINE, kLoggingKeyPath, KEY_READ);
    if (rc != ERROR_SUCCESS)
        return static_cast<uint32_t>(rc);
    DWORD number = 0;
    rc = key.getDwordValue(valueName, number);
    if (rc != ERROR_SUCCESS)
        return static_cast<uint32_t>(rc);
    value = number;
    return 0;
}

} // namespace ETWLogging
