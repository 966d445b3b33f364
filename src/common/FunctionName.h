// The qualified function name a log line shows, reduced from the compiler's decorated text once
// per call site. Shared by the process-wide logger and the support library's logger.
#pragma once

namespace ETWLogging::detail {

// Reduces a __PRETTY_FUNCTION__ text to the name a reader searches for: "Tessel::MessageBusClient::
// subscribe", "CKsTaskScheduler::SetAMMode" (the engine's own namespace and anonymous ones dropped),
// a lambda's enclosing function.
class FunctionName {
public:
    explicit FunctionName(const char* prettyFunction);
    const char* c_str() const { return m_text; }

private:
    char m_text[256];
};

} // namespace ETWLogging::detail
