// ETWLogging::CLogging: the rotating text-file logger. Lines are UTF-16 files under
// <base>\<group>\<log name>\, one file opened per line and closed after it, writes of all threads
// and processes serialized by a write lock per log folder.
#pragma once

#include "common/UniqueHandle.h"
#include "logging/FolderWriteLock.h"
#include "logging/LogClock.h"
#include "logging/LogFileRotation.h"
#include "logging/LogSettings.h"
#include "logging/LoggingIf.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace ETWLogging {

// What the file logger takes from its surroundings; tests choose them, production leaves them empty.
struct FileLoggerSeams {
    std::wstring baseFolder;          // ends with "\"; empty: program data "\Kestrel\KSLOGS\"
    const LogClock* clock = nullptr;  // null: the machine's local time
    std::wstring processImagePath;    // empty: this process's image file
};

class CLogging final : public CLoggingIf {
public:
    explicit CLogging(FileLoggerSeams seams = {});
    ~CLogging() override;

    LoggerKind kind() const override { return LoggerKind::File; }
    // 87 for an empty group or host, 20001 when already initialized.
    uint32_t initialize(const wchar_t* group, HINSTANCE__* module, const wchar_t* host) override;
    // 20002 when not initialized.
    uint32_t close() override;
    bool ensureStarted() override { return m_initialized.load(); }
    bool isLogEnabled(uint32_t level) const override;
    uint32_t writeLogV(uint32_t level, const char* file, const char* function, int line, const wchar_t* format,
                       va_list args) override;
    std::wstring currentLogFilePath() const override;

    // Writes one line for an already formatted message; 0 or a Windows error code.
    uint32_t writeLine(uint32_t level, const char* file, const char* function, int line, const std::wstring& message);

    FileLoggerSettings settings() const;
    const std::wstring& logFolder() const { return m_logFolder; }
    const std::wstring& logName() const { return m_logName; }

private:
    uint32_t prepareFolder();
    void switchOff();
    bool buildLine(uint32_t level, const char* file, const char* function, int line, const std::wstring& message,
                   std::wstring& text) const;

    FileLoggerSeams m_seams;
    std::atomic<bool> m_initialized{false};
    // The level threshold, read without the lock by isLogEnabled().
    std::atomic<uint32_t> m_severity{3};

    // Set by initialize(), read-only afterwards.
    std::wstring m_logFolder;
    std::wstring m_logName;
    std::wstring m_processImageName; // empty when a module names the log
    uint32_t m_processId = 0;
    std::unique_ptr<FolderWriteLock> m_folderLock;

    // Written under m_stateLock: in-process writers are serialized even when the folder lock wait
    // times out.
    mutable std::mutex m_stateLock;
    FileLoggerSettings m_settings;
    bool m_folderReady = false;
    mutable std::unique_ptr<LogFileRotation> m_rotation;
};

} // namespace ETWLogging
