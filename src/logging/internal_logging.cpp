// The logging entry points every subsystem calls.
#include "logging/internal_logging.h"

#include "logging/ProcessLogger.h"

#include <cstdarg>

namespace ETWLogging {

namespace {
constexpr uint32_t kNoLogger = 1627; // ERROR_FUNCTION_FAILED
}

bool isLogEnabled(uint32_t level)
{
    CLoggingIf* logger = processLogger().get();
    return logger && logger->isLogEnabled(level);
}

uint32_t writeLog(uint32_t level, const char* file, const char* function, int line, const wchar_t* format, ...)
{
    CLoggingIf* logger = processLogger().get();
    if (!logger || !logger->ensureStarted())
        return kNoLogger;
    va_list args;
    va_start(args, format);
    uint32_t rc = logger->writeLogV(level, file, function, line, format, args);
    va_end(args);
    return rc;
}

void setLogIdentity(const wchar_t* group, HINSTANCE__* module, const wchar_t* host)
{
    processLogger().setIdentity(group, module, host);
}

std::wstring currentLogFilePath()
{
    CLoggingIf* logger = processLogger().get();
    return logger ? logger->currentLogFilePath() : std::wstring();
}

} // namespace ETWLogging
