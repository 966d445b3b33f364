// LastLogIdx with a cache keyed on the settings file's time stamp and size.
#include "logging/LastLogIndexStore.h"

#include "common/WinInclude.h"
#include "logging/LoggingNames.h"

namespace ETWLogging {

LastLogIndexStore::LastLogIndexStore(std::wstring iniPath) : m_ini(std::move(iniPath)) {}

LastLogIndexStore::FileStamp LastLogIndexStore::stamp() const
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(m_ini.path().c_str(), GetFileExInfoStandard, &data))
        return {};
    return {true, (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime,
            (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

uint32_t LastLogIndexStore::read()
{
    FileStamp now = stamp();
    if (!now.present) {
        m_cached = false;
        return 0;
    }
    if (!m_cached || !(now == m_stamp)) {
        m_index = m_ini.readNumber(kIniSection, kIniLastLogIdx, 0);
        m_stamp = now;
        m_cached = true;
    }
    return m_index;
}

uint32_t LastLogIndexStore::write(uint32_t index)
{
    uint32_t rc = m_ini.writeNumber(kIniSection, kIniLastLogIdx, index);
    if (rc != 0) {
        m_cached = false;
        return rc;
    }
    m_index = index;
    m_stamp = stamp();
    m_cached = m_stamp.present;
    return 0;
}

} // namespace ETWLogging
