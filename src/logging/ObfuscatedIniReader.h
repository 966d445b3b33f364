// The support library's settings-file access for the logger's log.ini files. The files are kept
// as plain ini text, read and written through the system's profile functions.
#pragma once

#include <cstdint>
#include <string>

namespace Keelwork {

class CObfuscatedIniReader {
public:
    explicit CObfuscatedIniReader(std::wstring path);

    const std::wstring& path() const { return m_path; }
    bool exists() const;

    // The number stored under section/key, or `fallback` when it is absent.
    uint32_t readNumber(const wchar_t* section, const wchar_t* key, uint32_t fallback) const;
    bool hasValue(const wchar_t* section, const wchar_t* key) const;

    // 0 or the Windows error code of the failed write.
    uint32_t writeNumber(const wchar_t* section, const wchar_t* key, uint32_t value) const;

private:
    std::wstring m_path;
};

} // namespace Keelwork
