// "LastLogIdx" of a log folder's log.ini, the index of the file lines go to. The number is
// re-read from the file only when the file changed since it was last read or written here, so
// rotations by other processes are still seen without parsing the file on every line. While the
// file is absent, a watch on its folder's names tells whether it may have appeared, which costs
// less than looking up a name that is not there.
#pragma once

#include "common/UniqueHandle.h"
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
    // True when the file was seen absent while watched and no name in its folder changed since.
    bool stillAbsent();
    void watchAbsence();

    Keelwork::CObfuscatedIniReader m_ini;
    bool m_cached = false;
    FileStamp m_stamp;
    uint32_t m_index = 0;
    Keelwork::unique_handle m_absence; // folder name-change watch, set only while the file is absent
    bool m_absenceConfirmed = false;
};

} // namespace ETWLogging
