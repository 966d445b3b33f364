// File choice and rotation of the file logger.
#include "logging/LogFileRotation.h"

#include <cwchar>

namespace ETWLogging {

namespace {

HANDLE openLogFile(const std::wstring& path, DWORD disposition)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

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

uint32_t LogFileRotation::createFresh(uint32_t index, Keelwork::unique_handle& file, bool& isNew,
                                      uint64_t& endOffset)
{
    file.reset(openLogFile(pathFor(index), CREATE_ALWAYS));
    if (!file)
        return GetLastError();
    isNew = true;
    endOffset = 0;
    // A lost LastLogIdx only means the next line re-decides the file; the line itself is fine.
    m_lastIndex.write(index);
    return 0;
}

uint32_t LogFileRotation::open(Keelwork::unique_handle& file, bool& isNew, uint64_t& endOffset)
{
    isNew = false;
    endOffset = 0;
    uint32_t index = m_lastIndex.read();
    if (index >= m_maxEntries)
        return createFresh(0, file, isNew, endOffset);

    file.reset(openLogFile(pathFor(index), OPEN_ALWAYS));
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
        return createFresh(next, file, isNew, endOffset);
    }
    // The caller writes at this offset: no seek needed, and the size cannot change meanwhile
    // because writers of the folder hold its mutex.
    endOffset = static_cast<uint64_t>(size.QuadPart);
    return 0;
}

} // namespace ETWLogging
