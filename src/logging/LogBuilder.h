// Logger factories: make the file or the ETW logger for the process-wide logger's creation.
#pragma once

#include "logging/LoggingIf.h"

#include <memory>

namespace ETWLogging {

class LoggingConfigListenerIf;

class CLogBuilderIf {
public:
    virtual ~CLogBuilderIf() = default;
    virtual std::unique_ptr<CLoggingIf> createLogger(LoggerKind kind) = 0;
};

class CLogBuilderIf_ex {
public:
    virtual ~CLogBuilderIf_ex() = default;
    // `listener` configures an ETW logger; null means the registry listener.
    virtual std::unique_ptr<CLoggingIf> createLogger(std::shared_ptr<LoggingConfigListenerIf> listener,
                                                     LoggerKind kind) = 0;
};

class CDefaultLogBuilder final : public CLogBuilderIf, public CLogBuilderIf_ex {
public:
    std::unique_ptr<CLoggingIf> createLogger(LoggerKind kind) override;
    std::unique_ptr<CLoggingIf> createLogger(std::shared_ptr<LoggingConfigListenerIf> listener,
                                             LoggerKind kind) override;
};

} // namespace ETWLogging
