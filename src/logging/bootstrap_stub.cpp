// TEMPORARY build-pipeline placeholder, replaced by the real logger.
#include "logging/internal_logging.h"
namespace ETWLogging {
bool isLogEnabled(uint32_t) { return false; }
uint32_t writeLog(uint32_t, const char*, const char*, int, const wchar_t*, ...) { return 1627; }
void setLogIdentity(const wchar_t*, HINSTANCE__*, const wchar_t*) {}
std::wstring currentLogFilePath() { return {}; }
}
#include "logging/KeelworkLogger.h"
namespace Keelwork {
uint32_t CLogger::RegisterHandler(ILoggingHandler*) { return 0; }
uint32_t CLogger::UnregisterHandler(ILoggingHandler*) { return 0; }
void CLogger::Log(uint32_t, const char*, const char*, int, const wchar_t*, ...) {}
}
