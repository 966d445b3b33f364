// File choice and rotation of the file logger.
#include "logging/LogFileRotation.h"

#include <cwchar>

namespace ETWLogging {

namespace {

HANDLE openLogFile(const std::wstring& path, DWORD access, DWORD disposition)
{
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Append-only access: every write lands at the end of the file with no offset to pass. A write
// with an explicit offset costs a completion notice on top of the write.
constexpr DWORD kAppendAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;

} // namespace

LogFileRotation::LogFileRotation(std::wstring fileStem, std::wstring folderIniPath, uint32_t maxSize,
                                 uint32_t maxEntries)
    : m_fileStem(std::move(fileStem)), m_lastIndex(std::move(folderIniPath)), m_maxSize(maxSize),
      m_maxEntries(maxEntries)
{
}

std::wstring LogFileRotation::pathFor(uint32_t index) const
{
    wchar_t suffix[32];
    _snwprintf(suffix, 32, L"%0.3lu%s", static_cast<unsigned long>(index), L".log");
    suffix[31] = L'\0';
    return m_fileStem + suffix;
}

std::wstring LogFileRotation::currentPath()
{
    uint32_t index = m_lastIndex.read();
    return pathFor(index < m_maxEntries ? index : 0);
}

uint32_t LogFileRotation::createFresh(uint32_t index, Keelwork::unique_handle& file, bool& isNew)
{
    // Truncating takes write access; the empty file's pointer is at its start.
    file.reset(openLogFile(pathFor(index), GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS));
    if (!file)
        return GetLastError();
    isNew = true;
    // A lost LastLogIdx only means the next line re-decides the file; the line itself is fine.
    m_lastIndex.write(index);
    return 0;
}

uint32_t LogFileRotation::open(Keelwork::unique_handle& file, bool& isNew)
{
    isNew = false;
    uint32_t index = m_lastIndex.read();
    if (index >= m_maxEntries)
        return createFresh(0, file, isNew);

    file.reset(openLogFile(pathFor(index), kAppendAccess, OPEN_ALWAYS));
    if (!file)
        return GetLastError();
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        isNew = true;
        return 0;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return GetLastError();
    if (static_cast<uint64_t>(size.QuadPart) >= m_maxSize) {
        file.reset();
        uint32_t next = index + 1 == m_maxEntries ? 0 : index + 1;
        return createFresh(next, file, isNew);
    }
    return 0;
}

} // namespace ETWLogging
