// "LastLogIdx" of a log folder's log.ini, the index of the file lines go to. The number is
// re-read from the file only when the file changed since it was last read or written here, so
// rotations by other processes are still seen without parsing the file on every line. While the
// file is absent, a watch on its folder's names tells whether it may have appeared, which costs
// less than looking up a name that is not there; and where the folder's write lock is shared,
// the count of log.ini writes it keeps tells so with no call at all, every writer of the folder
// counting its writes there. The watch is then looked at once a second, for a file made by hand.
#pragma once

#include "common/UniqueHandle.h"
#include "logging/FolderWriteLock.h"
#include "logging/ObfuscatedIniReader.h"

#include <cstdint>
#include <string>

namespace ETWLogging {

class LastLogIndexStore {
public:
    explicit LastLogIndexStore(std::wstring iniPath);

    // The folder's write lock, held by the caller around read() and write(); may be unshared.
    void countWritesIn(FolderWriteLock& lock) { m_lock = &lock; }

    // 0 when the file or the value is absent.
    uint32_t read();
    // 0 or the Windows error code of the failed write.
    uint32_t write(uint32_t index);

private:
    struct FileStamp {
        bool present = false;
        uint64_t lastWrite = 0;
        uint64_t size = 0;
        bool operator==(const FileStamp&) const = default;
    };
    FileStamp stamp() const;
    // True when the file was seen absent while watched and no name in its folder changed since.
    bool stillAbsent();
    void watchAbsence();

    Keelwork::CObfuscatedIniReader m_ini;
    bool m_cached = false;
    FileStamp m_stamp;
    uint32_t m_index = 0;
    Keelwork::unique_handle m_absence; // folder name-change watch, set only while the file is absent
    bool m_absenceConfirmed = false;
    FolderWriteLock* m_lock = nullptr;
    long m_iniWritesSeen = 0;          // the lock's count when the watch was last looked at
    unsigned long long m_watchLookedAt = 0;
};

} // namespace ETWLogging
