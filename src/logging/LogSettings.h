// The file logger's settings: defaults, the bounds applied when a value is set, and reading them
// from the "Config" section of the log folder's and the base folder's log.ini.
#pragma once

#include <cstdint>

namespace Keelwork {
class CObfuscatedIniReader;
}

namespace ETWLogging {

inline constexpr uint32_t kMinMaxSize = 0x40000;
inline constexpr uint32_t kMaxMaxSize = 0xA00000;
inline constexpr uint32_t kMinMaxEntries = 2;
inline constexpr uint32_t kMaxMaxEntries = 100;
// Severity no level reaches: what a logger that switched itself off keeps.
inline constexpr uint32_t kSeverityOff = 10000;

struct FileLoggerSettings {
    uint32_t enable = 1;
    uint32_t maxSize = kMinMaxSize;
    uint32_t maxEntries = 3;
    uint32_t severity = 3;
    uint32_t options = 16;

    void setMaxSize(uint32_t value);
    void setMaxEntries(uint32_t value);
    void setSeverity(uint32_t value);
};

// Defaults when neither file exists; else each key from the folder's file, then the base file.
FileLoggerSettings readFileLoggerSettings(const Keelwork::CObfuscatedIniReader& folderIni,
                                          const Keelwork::CObfuscatedIniReader& baseIni);

} // namespace ETWLogging
