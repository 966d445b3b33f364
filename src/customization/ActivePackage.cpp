// Reads the active package number from the packages key.
#include "customization/ActivePackage.h"

#include "customization/CustomizationRegistry.h"
#include "registry/RegKey.h"

#include <cwchar>

namespace Keelwork::customization {

namespace {

constexpr DWORD kMaxPackageTextBytes = 520;

uint32_t leadingDecimal(const wchar_t* text)
{
    uint32_t number = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text)
        number = number * 10 + static_cast<uint32_t>(*text - L'0');
    return number;
}

} // namespace

uint32_t readActivePackageNumber(const wchar_t* valueName)
{
    CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, kPackagesKey, KEY_READ | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return 0;
    wchar_t text[kMaxPackageTextBytes / sizeof(wchar_t) + 1] = {};
    DWORD type = REG_NONE;
    DWORD size = kMaxPackageTextBytes;
    if (key.queryValue(valueName, &type, text, &size) != ERROR_SUCCESS)
        return 0;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return 0;
    if (size < sizeof(wchar_t) || size % sizeof(wchar_t) != 0)
        return 0;
    if (text[size / sizeof(wchar_t) - 1] != L'\0')
        return 0;
    if (std::wcschr(text, L';') != nullptr)
        return 0;
    return leadingDecimal(text);
}

uint32_t activePackageNumber()
{
    uint32_t package = readActivePackageNumber(kActiveUiPackagesValue);
    if (package == 0)
        package = readActivePackageNumber(kActivePackagesValue);
    return package;
}

} // namespace Keelwork::customization
