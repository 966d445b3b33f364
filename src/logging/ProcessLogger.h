// The process-wide logger: created once, on first use, of the kind "Logging Mechanism" names,
// with the identity set before that. isLogEnabled()/writeLog() reach it through processLogger().
#pragma once

#include "logging/LogBuilder.h"
#include "logging/LoggingIf.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace ETWLogging {

struct LogIdentity {
    std::optional<std::wstring> group = std::wstring(L"_no_group");
    std::optional<std::wstring> host = std::wstring(L"_no_host");
    HINSTANCE__* module = nullptr; // null: the library's own module
};

// The module this library is linked into.
HINSTANCE__* ownModule();

// The kind "Logging Mechanism" under HKEY_LOCAL_MACHINE "SOFTWARE\Kestrel\Logging" asks for:
// the file logger for 1, else (also when the key cannot be read) the ETW logger.
LoggerKind configuredLoggerKind();

// Builds the configured kind and initializes it; null when initialization fails.
std::unique_ptr<CLoggingIf> createConfiguredLogger(CLogBuilderIf& builder, const LogIdentity& identity);

class ProcessLogger {
public:
    // A null builder means CDefaultLogBuilder. With `bridgeKeelwork`, creation also registers the
    // support library's bridge handler unless a handler of its own is registered.
    explicit ProcessLogger(std::unique_ptr<CLogBuilderIf> builder = nullptr, bool bridgeKeelwork = false);
    ~ProcessLogger();

    // Ignored once the logger exists.
    void setIdentity(const wchar_t* group, HINSTANCE__* module, const wchar_t* host);

    // The logger, created on the first call (concurrent first calls wait for one creation); null
    // when creation failed.
    CLoggingIf* get();

private:
    void create();

    std::once_flag m_once;
    std::mutex m_identityLock; // guards m_identity
    LogIdentity m_identity;
    std::atomic<bool> m_created{false};
    std::unique_ptr<CLogBuilderIf> m_builder;
    std::unique_ptr<CLoggingIf> m_logger; // written once inside m_once
    bool m_bridgeKeelwork;
};

ProcessLogger& processLogger();

} // namespace ETWLogging
