// Plain ini access for the logger's settings files.
#include "logging/ObfuscatedIniReader.h"

#include "common/WinInclude.h"

#include <cwchar>

namespace Keelwork {

CObfuscatedIniReader::CObfuscatedIniReader(std::wstring path) : m_path(std::move(path)) {}

bool CObfuscatedIniReader::exists() const
{
    return GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CObfuscatedIniReader::hasValue(const wchar_t* section, const wchar_t* key) const
{
    // A default no stored text can equal tells "absent" from "empty".
    wchar_t text[32];
    GetPrivateProfileStringW(section, key, L"\x01", text, 32, m_path.c_str());
    return !(text[0] == L'\x01' && text[1] == L'\0');
}

uint32_t CObfuscatedIniReader::readNumber(const wchar_t* section, const wchar_t* key, uint32_t fallback) const
{
    wchar_t text[32];
    GetPrivateProfileStringW(section, key, L"\x01", text, 32, m_path.c_str());
    if (text[0] == L'\x01' && text[1] == L'\0')
        return fallback;
    return static_cast<uint32_t>(std::wcstoul(text, nullptr, 0));
}

uint32_t CObfuscatedIniReader::writeNumber(const wchar_t* section, const wchar_t* key, uint32_t value) const
{
    wchar_t text[16];
    _snwprintf(text, 16, L"%lu", static_cast<unsigned long>(value));
    text[15] = L'\0';
    if (!WritePrivateProfileStringW(section, key, text, m_path.c_str()))
        return GetLastError();
    return 0;
}

} // namespace Keelwork
