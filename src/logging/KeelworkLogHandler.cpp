// The bridge from the support library's logger to the process-wide logger.
#include "logging/KeelworkLogHandler.h"

#include "logging/internal_logging.h"

namespace ETWLogging {

CKeelworkLogHandler::~CKeelworkLogHandler()
{
    if (Keelwork::CLogger::CurrentHandler() == this)
        Keelwork::CLogger::UnregisterHandler(this);
}

uint32_t CKeelworkLogHandler::mapLevel(uint32_t keelworkLevel)
{
    switch (keelworkLevel) {
    case Keelwork::KW_LOG_NONE:
    case Keelwork::KW_LOG_INFORMATION:
        return LOG_LEVEL_NORMAL;
    case Keelwork::KW_LOG_ERROR:
        return LOG_LEVEL_ERROR;
    default:
        return LOG_LEVEL_WARNING;
    }
}

void CKeelworkLogHandler::handle(uint32_t level, const char* file, const char* function, int line,
                                 const wchar_t* text)
{
    uint32_t mapped = mapLevel(level);
    if (isLogEnabled(mapped))
        writeLog(mapped, file, function, line, L"%s", text);
}

} // namespace ETWLogging
