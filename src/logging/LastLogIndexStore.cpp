// LastLogIdx with a cache keyed on the settings file's time stamp and size.
#include "logging/LastLogIndexStore.h"

#include "common/WinInclude.h"
#include "logging/LoggingNames.h"

namespace ETWLogging {

namespace {

// How long a confirmed absence stands on the shared count alone.
constexpr unsigned long long kWatchLookMs = 1000;

} // namespace

LastLogIndexStore::LastLogIndexStore(std::wstring iniPath) : m_ini(std::move(iniPath)) {}

LastLogIndexStore::FileStamp LastLogIndexStore::stamp() const
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(m_ini.path().c_str(), GetFileExInfoStandard, &data))
        return {};
    return {true, (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime,
            (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

bool LastLogIndexStore::stillAbsent()
{
    if (!m_absence)
        return false;
    const unsigned long long now = GetTickCount64();
    const bool counted = m_lock != nullptr && m_lock->isShared();
    if (m_absenceConfirmed && counted && m_lock->iniWrites() == m_iniWritesSeen &&
        now - m_watchLookedAt < kWatchLookMs)
        return true;
    // Taken before the look, so a write counted after it is seen by the next read.
    m_iniWritesSeen = counted ? m_lock->iniWrites() : 0;
    m_watchLookedAt = now;
    if (WaitForSingleObject(m_absence.get(), 0) == WAIT_TIMEOUT)
        return m_absenceConfirmed;
    // A name changed in the folder: watch again before looking, so no later change is missed.
    m_absenceConfirmed = FindNextChangeNotification(m_absence.get()) != FALSE;
    if (!m_absenceConfirmed)
        m_absence.reset();
    return false;
}

void LastLogIndexStore::watchAbsence()
{
    if (m_absence)
        return;
    const std::wstring& path = m_ini.path();
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return;
    // Watching starts now, after the look that found the file absent: only the next look, made
    // while watching, confirms the absence.
    m_absence.reset(FindFirstChangeNotificationW(path.substr(0, slash).c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME));
    m_absenceConfirmed = false;
}

uint32_t LastLogIndexStore::read()
{
    if (stillAbsent())
        return 0;
    FileStamp now = stamp();
    if (!now.present) {
        m_cached = false;
        if (m_absence)
            m_absenceConfirmed = true;
        else
            watchAbsence();
        return 0;
    }
    m_absence.reset();
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
    if (m_lock != nullptr)
        m_lock->countIniWrite();
    m_absence.reset();
    m_index = index;
    m_stamp = stamp();
    m_cached = m_stamp.present;
    return 0;
}

} // namespace ETWLogging
