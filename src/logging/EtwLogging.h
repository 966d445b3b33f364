// ETWLogging::CETWLogging: the event-tracing logger. A classic (MOF) provider registered once on
// first use; events go out only while a trace session has enabled it.
#pragma once

#include "logging/EtwConfiguration.h"
#include "logging/LoggingIf.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace ETWLogging {

class CETWLogging final : public CLoggingIf_ex {
public:
    // A null listener means CETWConfigurationListener.
    explicit CETWLogging(std::shared_ptr<LoggingConfigListenerIf> listener = nullptr);
    ~CETWLogging() override;

    LoggerKind kind() const override { return LoggerKind::Etw; }
    uint32_t initialize(const wchar_t* group, HINSTANCE__* module, const wchar_t* host) override;
    uint32_t close() override;
    bool ensureStarted() override;
    bool isLogEnabled(uint32_t level) const override;
    uint32_t writeLogV(uint32_t level, const char* file, const char* function, int line, const wchar_t* format,
                       va_list args) override;
    void configure(bool enabled, uint32_t threshold) override;

    // Called by the trace system's control callback.
    void onSessionEnabled(uint64_t sessionHandle);
    void onSessionDisabled();

private:
    void unregisterProvider();

    std::shared_ptr<LoggingConfigListenerIf> m_listener;
    std::atomic<bool> m_initialized{false};
    std::atomic<bool> m_enabled{true};
    std::atomic<uint32_t> m_threshold{3};
    std::atomic<uint64_t> m_session{0};
    internal::ETWAppProperties m_properties; // set by initialize(), read-only afterwards

    std::mutex m_registrationLock; // guards m_registrationTried, m_registration
    bool m_registrationTried = false;
    uint64_t m_registration = 0;
};

} // namespace ETWLogging
