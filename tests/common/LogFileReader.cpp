// UTF-16 log file reading for tests.
#include "LogFileReader.h"
#include "ExpectLogged.h"

#include "common/UniqueHandle.h"
#include "logging/internal_logging.h"

namespace kstest {

std::vector<unsigned char> readFileBytes(const std::wstring& path)
{
    std::vector<unsigned char> bytes;
    Keelwork::unique_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return bytes;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return bytes;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        read = 0;
    bytes.resize(read);
    return bytes;
}

std::wstring readUtf16File(const std::wstring& path)
{
    std::vector<unsigned char> bytes = readFileBytes(path);
    size_t start = (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) ? 2 : 0;
    std::wstring text;
    text.reserve((bytes.size() - start) / 2);
    for (size_t i = start; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

std::wstring currentProcessLogFile()
{
    return ETWLogging::currentLogFilePath();
}

LogCapture::LogCapture() : m_file(currentProcessLogFile()), m_startChars(readUtf16File(m_file).size()) {}

std::wstring LogCapture::text() const
{
    std::wstring now = currentProcessLogFile();
    std::wstring all = readUtf16File(now);
    if (now == m_file && all.size() >= m_startChars)
        return all.substr(m_startChars);
    // A rotation since construction: what the old file got after the start, then all of the new
    // one. Lines written just before the rotation would otherwise be lost.
    const std::wstring before = now == m_file ? std::wstring() : readUtf16File(m_file);
    return (before.size() > m_startChars ? before.substr(m_startChars) : std::wstring()) + all;
}

std::vector<std::wstring> LogCapture::lines() const
{
    std::vector<std::wstring> result;
    std::wstring all = text();
    size_t pos = 0;
    while (pos < all.size()) {
        size_t end = all.find(L'\n', pos);
        if (end == std::wstring::npos)
            end = all.size();
        std::wstring line = all.substr(pos, end - pos);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        result.push_back(line);
        pos = end + 1;
    }
    return result;
}

bool LogCapture::contains(const std::wstring& fragment) const
{
    return text().find(fragment) != std::wstring::npos;
}

} // namespace kstest

namespace kstest {

std::string narrowForReport(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

bool loggedAt(const LogCapture& capture, uint32_t level, const std::wstring& fragment)
{
    static const wchar_t* const names[] = {L"", L"Normal", L"Warning", L"Information", L"Error", L"Critical", L"Information"};
    if (level >= sizeof names / sizeof names[0] || level == 0)
        return false;
    const std::wstring header = std::wstring(L"-- (") + names[level] + L")$";
    for (const std::wstring& line : capture.lines())
        if (line.find(header) != std::wstring::npos && line.find(fragment) != std::wstring::npos)
            return true;
    return false;
}

} // namespace kstest
