// Log lines whose function field is stated rather than taken from the code around them: where a
// line the log contract attributes to one function is written by a helper that function calls,
// the field keeps the contract's name ("CKsTaskScheduler::SetAMMode") wherever the code moves.
#pragma once

#include "logging/internal_logging.h"

#define KS_LOG_AS(level, function, ...)                                                              \
    do {                                                                                             \
        if (::ETWLogging::isLogEnabled(level))                                                       \
            ::ETWLogging::writeLog((level), __FILE_NAME__, (function), __LINE__, __VA_ARGS__);      \
    } while (0)

#define KSLOG_NORMAL_AS(function, ...) KS_LOG_AS(::ETWLogging::LOG_LEVEL_NORMAL, function, __VA_ARGS__)
#define KSLOG_WARNING_AS(function, ...) KS_LOG_AS(::ETWLogging::LOG_LEVEL_WARNING, function, __VA_ARGS__)
#define KSLOG_INFO_AS(function, ...) KS_LOG_AS(::ETWLogging::LOG_LEVEL_INFORMATION, function, __VA_ARGS__)
#define KSLOG_ERROR_AS(function, ...) KS_LOG_AS(::ETWLogging::LOG_LEVEL_ERROR, function, __VA_ARGS__)
#define KSLOG_CRITICAL_AS(function, ...) KS_LOG_AS(::ETWLogging::LOG_LEVEL_CRITICAL, function, __VA_ARGS__)
