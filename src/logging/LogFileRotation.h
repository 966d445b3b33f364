// Chooses and opens the file the next line of a log goes to, rotating through MaxEntries files of
// at most MaxSize bytes each; the index in use is kept as "LastLogIdx" in the folder's log.ini.
#pragma once

#include "common/UniqueHandle.h"
#include "logging/LastLogIndexStore.h"

#include <cstdint>
#include <string>

namespace ETWLogging {

class LogFileRotation {
public:
    // fileStem: the log folder, "\", the log name and "_<host>" when a host is set.
    LogFileRotation(std::wstring fileStem, std::wstring folderIniPath, uint32_t maxSize, uint32_t maxEntries);

    // Opens the file for this line, positioned so that a plain write goes to its end; `isNew` tells
    // that it was created (and needs its byte-order mark). 0 or the Windows error code.
    uint32_t open(Keelwork::unique_handle& file, bool& isNew);

    // The folder's write lock, held around open(): LastLogIdx writes are counted there.
    void countIniWritesIn(FolderWriteLock& lock) { m_lastIndex.countWritesIn(lock); }

    // The file LastLogIdx names now.
    std::wstring currentPath();

    std::wstring pathFor(uint32_t index) const;

private:
    uint32_t createFresh(uint32_t index, Keelwork::unique_handle& file, bool& isNew);

    std::wstring m_fileStem;
    LastLogIndexStore m_lastIndex;
    uint32_t m_maxSize;
    uint32_t m_maxEntries;
};

} // namespace ETWLogging
