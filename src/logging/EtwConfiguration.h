// Configuration of the ETW logger: the listener that applies "Enable" and "Severity" from the
// registry, and the application properties every event carries.
#pragma once

#include <string>

struct HINSTANCE__;

namespace ETWLogging {

class CLoggingIf_ex;

class LoggingConfigListenerIf {
public:
    virtual ~LoggingConfigListenerIf() = default;
    // Reads the configuration and applies it to `logger`.
    virtual void readConfiguration(CLoggingIf_ex& logger) = 0;
};

// Reads "Enable" (default 1) and "Severity" (default 3, kept within 1..6) from
// HKEY_LOCAL_MACHINE "SOFTWARE\Kestrel\Logging".
class CETWConfigurationListener final : public LoggingConfigListenerIf {
public:
    void readConfiguration(CLoggingIf_ex& logger) override;
};

namespace internal {

struct ETWAppProperties {
    std::wstring processImageName; // the host process's image file name
    std::wstring fileVersion;      // "%u.%u.%u.%u" from the module's version resource; empty without one
    std::wstring productVersion;
    std::wstring group;

    static ETWAppProperties collect(HINSTANCE__* module, const wchar_t* group);
};

} // namespace internal

} // namespace ETWLogging
