// The event-tracing logger.
#include "logging/EtwLogging.h"

#include "logging/EtwEvent.h"
#include "logging/LoggingNames.h"
#include "common/MessageFormat.h"
#include "logging/internal_logging.h"

namespace ETWLogging {

namespace {

inline constexpr uint32_t kAlreadyInitialized = 20001;
inline constexpr uint32_t kNotInitialized = 20002;

const GUID& providerGuid()
{
    static const GUID guid{kEtwProviderData1, kEtwProviderData2, kEtwProviderData3,
                           {kEtwProviderData4[0], kEtwProviderData4[1], kEtwProviderData4[2], kEtwProviderData4[3],
                            kEtwProviderData4[4], kEtwProviderData4[5], kEtwProviderData4[6], kEtwProviderData4[7]}};
    return guid;
}

GUID eventClassGuid()
{
    return GUID{kEtwEventClassData1, kEtwEventClassData2, kEtwEventClassData3,
                {kEtwEventClassData4[0], kEtwEventClassData4[1], kEtwEventClassData4[2], kEtwEventClassData4[3],
                 kEtwEventClassData4[4], kEtwEventClassData4[5], kEtwEventClassData4[6], kEtwEventClassData4[7]}};
}

ULONG WINAPI controlCallback(WMIDPREQUESTCODE request, PVOID context, ULONG*, PVOID buffer)
{
    auto* logger = static_cast<CETWLogging*>(context);
    switch (request) {
    case WMI_ENABLE_EVENTS:
        logger->onSessionEnabled(GetTraceLoggerHandle(buffer));
        return ERROR_SUCCESS;
    case WMI_DISABLE_EVENTS:
        logger->onSessionDisabled();
        return ERROR_SUCCESS;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

} // namespace

CETWLogging::CETWLogging(std::shared_ptr<LoggingConfigListenerIf> listener)
    : m_listener(listener ? std::move(listener) : std::make_shared<CETWConfigurationListener>())
{
}

CETWLogging::~CETWLogging()
{
    unregisterProvider();
}

uint32_t CETWLogging::initialize(const wchar_t* group, HINSTANCE__* module, const wchar_t* host)
{
    if ((group && !*group) || (host && !*host))
        return ERROR_INVALID_PARAMETER;
    if (m_initialized.load())
        return kAlreadyInitialized;
    m_properties = internal::ETWAppProperties::collect(module, group);
    m_initialized.store(true);
    return 0;
}

uint32_t CETWLogging::close()
{
    if (!m_initialized.exchange(false))
        return kNotInitialized;
    unregisterProvider();
    return 0;
}

void CETWLogging::unregisterProvider()
{
    std::lock_guard lock(m_registrationLock);
    if (m_registration)
        UnregisterTraceGuids(m_registration);
    m_registration = 0;
    m_session.store(0);
}

bool CETWLogging::ensureStarted()
{
    std::lock_guard lock(m_registrationLock);
    if (!m_registrationTried) {
        m_registrationTried = true;
        m_listener->readConfiguration(*this);
        TRACE_GUID_REGISTRATION eventClass{};
        GUID classGuid = eventClassGuid();
        eventClass.Guid = &classGuid;
        TRACEHANDLE registration = 0;
        if (RegisterTraceGuidsW(controlCallback, this, &providerGuid(), 1, &eventClass, nullptr, nullptr,
                                &registration) == ERROR_SUCCESS)
            m_registration = registration;
    }
    return m_registration != 0;
}

bool CETWLogging::isLogEnabled(uint32_t level) const
{
    return m_enabled.load(std::memory_order_relaxed) &&
           (level >= m_threshold.load(std::memory_order_relaxed) || level == LOG_LEVEL_INFORMATION);
}

void CETWLogging::configure(bool enabled, uint32_t threshold)
{
    m_enabled.store(enabled);
    m_threshold.exchange(threshold);
}

void CETWLogging::onSessionEnabled(uint64_t sessionHandle)
{
    // A session starting is the moment to pick up configuration changed since the last one.
    m_listener->readConfiguration(*this);
    m_session.store(sessionHandle);
}

void CETWLogging::onSessionDisabled()
{
    m_session.store(0);
}

uint32_t CETWLogging::writeLogV(uint32_t level, const char* file, const char* function, int line,
                                const wchar_t* format, va_list args)
{
    if (!isLogEnabled(level))
        return 0;
    const uint64_t session = m_session.load();
    if (session == 0)
        return 0;
    std::wstring message = formatMessageLimited(format, args, kMaxMessageChars);
    EtwEventFields fields;
    fields.processId = GetCurrentProcessId();
    fields.threadId = GetCurrentThreadId();
    fields.processImageName = m_properties.processImageName;
    fields.file = file;
    fields.function = function;
    fields.line = line;
    fields.fileVersion = m_properties.fileVersion;
    fields.productVersion = m_properties.productVersion;
    fields.group = m_properties.group;
    EtwEventPayload payload = buildEtwEventPayload(fields, message);
    EtwTraceEvent event;
    fillEtwTraceEvent(event, level, payload);
    return TraceEvent(session, &event.header);
}

} // namespace ETWLogging
