// The logger interfaces behind isLogEnabled()/writeLog(): the file logger implements CLoggingIf,
// the event-tracing logger CLoggingIf_ex.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

struct HINSTANCE__;

namespace ETWLogging {

enum class LoggerKind { File, Etw };

class CLoggingIf {
public:
    virtual ~CLoggingIf() = default;

    virtual LoggerKind kind() const = 0;

    // group/host may be null (no group, no host); 0 or a Windows error code.
    virtual uint32_t initialize(const wchar_t* group, HINSTANCE__* module, const wchar_t* host) = 0;
    virtual uint32_t close() = 0;

    // Makes sure the logger can write (the ETW logger registers its provider here, once).
    virtual bool ensureStarted() = 0;

    virtual bool isLogEnabled(uint32_t level) const = 0;

    // Formats `format` with `args` and writes one line or event; 0 or a Windows error code.
    virtual uint32_t writeLogV(uint32_t level, const char* file, const char* function, int line,
                               const wchar_t* format, va_list args) = 0;

    // Where the next line would go; empty when the logger does not write files.
    virtual std::wstring currentLogFilePath() const { return {}; }

protected:
    CLoggingIf() = default;
    CLoggingIf(const CLoggingIf&) = delete;
    CLoggingIf& operator=(const CLoggingIf&) = delete;
};

// Adds run-time configuration: switch on/off and the level threshold.
class CLoggingIf_ex : public CLoggingIf {
public:
    virtual void configure(bool enabled, uint32_t threshold) = 0;
};

} // namespace ETWLogging
