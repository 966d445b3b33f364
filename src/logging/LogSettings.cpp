// Reading and bounding the file logger's settings.
#include "logging/LogSettings.h"

#include "logging/LoggingNames.h"
#include "logging/ObfuscatedIniReader.h"

#include <algorithm>

namespace ETWLogging {

void FileLoggerSettings::setMaxSize(uint32_t value)
{
    maxSize = std::clamp(value, kMinMaxSize, kMaxMaxSize);
}

void FileLoggerSettings::setMaxEntries(uint32_t value)
{
    maxEntries = std::clamp(value, kMinMaxEntries, kMaxMaxEntries);
}

void FileLoggerSettings::setSeverity(uint32_t value)
{
    severity = std::clamp<uint32_t>(value, 1, 6);
}

namespace {

bool lookUp(const Keelwork::CObfuscatedIniReader& folderIni, const Keelwork::CObfuscatedIniReader& baseIni,
            const wchar_t* key, uint32_t& value)
{
    for (const Keelwork::CObfuscatedIniReader* ini : {&folderIni, &baseIni}) {
        if (ini->hasValue(kIniSection, key)) {
            value = ini->readNumber(kIniSection, key, value);
            return true;
        }
    }
    return false;
}

} // namespace

FileLoggerSettings readFileLoggerSettings(const Keelwork::CObfuscatedIniReader& folderIni,
                                          const Keelwork::CObfuscatedIniReader& baseIni)
{
    FileLoggerSettings settings;
    if (!folderIni.exists() && !baseIni.exists())
        return settings;
    uint32_t value = 0;
    if (lookUp(folderIni, baseIni, kIniEnable, value))
        settings.enable = value;
    if (lookUp(folderIni, baseIni, kIniMaxSize, value))
        settings.setMaxSize(value);
    if (lookUp(folderIni, baseIni, kIniMaxEntries, value))
        settings.setMaxEntries(value);
    if (lookUp(folderIni, baseIni, kIniSeverity, value))
        settings.setSeverity(value);
    if (lookUp(folderIni, baseIni, kIniOptions, value))
        settings.options = value;
    return settings;
}

} // namespace ETWLogging
