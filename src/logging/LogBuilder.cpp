// The default logger factory.
#include "logging/LogBuilder.h"

#include "logging/EtwLogging.h"
#include "logging/FileLogging.h"

namespace ETWLogging {

std::unique_ptr<CLoggingIf> CDefaultLogBuilder::createLogger(LoggerKind kind)
{
    return createLogger(nullptr, kind);
}

std::unique_ptr<CLoggingIf> CDefaultLogBuilder::createLogger(std::shared_ptr<LoggingConfigListenerIf> listener,
                                                             LoggerKind kind)
{
    if (kind == LoggerKind::File)
        return std::make_unique<CLogging>();
    return std::make_unique<CETWLogging>(std::move(listener));
}

} // namespace ETWLogging
