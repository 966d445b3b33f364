// The process-wide logger every subsystem writes through: a cheap level test and a formatted
// write that carries level, source file, qualified function name and line.
//
// The logger is created lazily on the first isLogEnabled()/writeLog() of the process and is a
// rotating file logger or an event-tracing provider, chosen by the registry value
// "Logging Mechanism". Set the identity with setLogIdentity() before that first use.
//
// Formats are wide printf formats with the Windows meaning: %s is a wide string, %hs narrow.
#pragma once

#include "common/FunctionName.h"

#include <cstdint>
#include <string>

struct HINSTANCE__;

namespace ETWLogging {

enum LogLevel : uint32_t {
    LOG_LEVEL_NORMAL = 1,
    LOG_LEVEL_WARNING = 2,
    LOG_LEVEL_INFORMATION = 3,
    LOG_LEVEL_ERROR = 4,
    LOG_LEVEL_CRITICAL = 5,
    LOG_LEVEL_INFORMATION_ALT = 6,
};

bool isLogEnabled(uint32_t level);

// Returns 0 when the line was written, else a Windows error code (1627 when there is no logger).
uint32_t writeLog(uint32_t level, const char* file, const char* function, int line, const wchar_t* format, ...);

// Identity for the first logger creation; a null module means the library's own module.
// Later calls have no effect once the logger exists.
void setLogIdentity(const wchar_t* group, HINSTANCE__* module, const wchar_t* host);

// Full path of the file the file logger would write its next line to; empty for the ETW logger
// or when there is no logger. For diagnostics and tests.
std::wstring currentLogFilePath();

} // namespace ETWLogging

#define KS_LOG(level, ...)                                                                           \
    do {                                                                                             \
        if (::ETWLogging::isLogEnabled(level)) {                                                     \
            static const ::ETWLogging::detail::FunctionName ksLogFunction_(__PRETTY_FUNCTION__);    \
            ::ETWLogging::writeLog((level), __FILE_NAME__, ksLogFunction_.c_str(), __LINE__, __VA_ARGS__); \
        }                                                                                            \
    } while (0)

#define KSLOG_NORMAL(...) KS_LOG(::ETWLogging::LOG_LEVEL_NORMAL, __VA_ARGS__)
#define KSLOG_WARNING(...) KS_LOG(::ETWLogging::LOG_LEVEL_WARNING, __VA_ARGS__)
#define KSLOG_INFO(...) KS_LOG(::ETWLogging::LOG_LEVEL_INFORMATION, __VA_ARGS__)
#define KSLOG_ERROR(...) KS_LOG(::ETWLogging::LOG_LEVEL_ERROR, __VA_ARGS__)
#define KSLOG_CRITICAL(...) KS_LOG(::ETWLogging::LOG_LEVEL_CRITICAL, __VA_ARGS__)
