// "LastLogIdx" of a log folder's log.ini, the index of the file lines go to. The number is
// re-read from the file only when the file changed since it was last read or written here, so
// rotations by other processes are still seen without parsing the file on every line.
#pragma once

#include "logging/ObfuscatedIniReader.h"

#include <cstdint>
#include <string>

namespace ETWLogging {

class LastLogIndexStore {
public:
    explicit LastLogIndexStore(std::wstring iniPath);

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

    Keelwork::CObfuscatedIniReader m_ini;
    bool m_cached = false;
    FileStamp m_stamp;
    uint32_t m_index = 0;
};

} // namespace ETWLogging
