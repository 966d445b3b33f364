// The support library's small logger: one replaceable handler receives every line. It sits
// below the registry and the process-wide logger, which registers a bridge handler here once it
// exists (logging/KeelworkLogHandler.h); until then lines go to the debugger output.
#pragma once

#include "common/FunctionName.h"

#include <cstdint>
#include <string>

namespace Keelwork {

// Support-library levels: 0 writes nothing.
enum KeelworkLogLevel : uint32_t {
    KW_LOG_NONE = 0,
    KW_LOG_INFORMATION = 1,
    KW_LOG_ERROR = 2,
};

class ILoggingHandler {
public:
    virtual void handle(uint32_t level, const char* file, const char* function, int line, const wchar_t* text) = 0;

protected:
    ILoggingHandler() = default;
    ~ILoggingHandler() = default;
    ILoggingHandler(const ILoggingHandler&) = delete;
    ILoggingHandler& operator=(const ILoggingHandler&) = delete;
};

// Sends each line, as "<file>(<line>): [INFO|ERROR|UNKNOWN]: [<function>]: <text>\n", to the
// debugger output.
class CDefaultLoggingHandler final : public ILoggingHandler {
public:
    void handle(uint32_t level, const char* file, const char* function, int line, const wchar_t* text) override;
    static std::wstring formatLine(uint32_t level, const char* file, const char* function, int line, const wchar_t* text);
};

class CLogger {
public:
    // 0, 87 (null handler) or 5023 (another handler is in place / not the registered one). A
    // failure is logged to the handler in place, led by the system's text for the code.
    static uint32_t RegisterHandler(ILoggingHandler* handler);
    static uint32_t UnregisterHandler(ILoggingHandler* handler);

    // The registered handler; null when none is.
    static ILoggingHandler* CurrentHandler();
    static ILoggingHandler* DefaultHandler();

    // Formats the wide printf text and hands it to the registered handler (the default one when
    // none is registered).
    static void Log(uint32_t level, const char* file, const char* function, int line, const wchar_t* format, ...);
};

} // namespace Keelwork

#define KW_LOG(level, ...)                                                                        \
    do {                                                                                          \
        static const ::ETWLogging::detail::FunctionName kwLogFunction_(__PRETTY_FUNCTION__);     \
        ::Keelwork::CLogger::Log((level), __FILE_NAME__, kwLogFunction_.c_str(), __LINE__, __VA_ARGS__); \
    } while (0)

#define KWLOG_INFO(...) KW_LOG(::Keelwork::KW_LOG_INFORMATION, __VA_ARGS__)
#define KWLOG_ERROR(...) KW_LOG(::Keelwork::KW_LOG_ERROR, __VA_ARGS__)
