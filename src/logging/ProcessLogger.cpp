// Creation of the process-wide logger.
#include "logging/ProcessLogger.h"

#include "common/WinInclude.h"
#include "logging/KeelworkLogHandler.h"
#include "logging/LoggingNames.h"
#include "logging/LoggingRegistry.h"

namespace ETWLogging {

HINSTANCE__* ownModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &module);
    return module;
}

LoggerKind configuredLoggerKind()
{
    uint32_t mechanism = 0;
    if (readLoggingNumber(kLoggingMechanismValue, mechanism) == 0 && mechanism == kFileLoggingMechanism)
        return LoggerKind::File;
    return LoggerKind::Etw;
}

std::unique_ptr<CLoggingIf> createConfiguredLogger(CLogBuilderIf& builder, const LogIdentity& identity)
{
    std::unique_ptr<CLoggingIf> logger = builder.createLogger(configuredLoggerKind());
    if (!logger)
        return nullptr;
    if (logger->initialize(identity.group ? identity.group->c_str() : nullptr,
                           identity.module ? identity.module : ownModule(),
                           identity.host ? identity.host->c_str() : nullptr) != 0)
        return nullptr;
    return logger;
}

ProcessLogger::ProcessLogger(std::unique_ptr<CLogBuilderIf> builder, bool bridgeKeelwork)
    : m_builder(builder ? std::move(builder) : std::make_unique<CDefaultLogBuilder>()),
      m_bridgeKeelwork(bridgeKeelwork)
{
}

ProcessLogger::~ProcessLogger() = default;

void ProcessLogger::setIdentity(const wchar_t* group, HINSTANCE__* module, const wchar_t* host)
{
    if (m_created.load())
        return;
    std::lock_guard lock(m_identityLock);
    m_identity.group = group ? std::optional<std::wstring>(group) : std::nullopt;
    m_identity.host = host ? std::optional<std::wstring>(host) : std::nullopt;
    m_identity.module = module;
}

void ProcessLogger::create()
{
    LogIdentity identity;
    {
        std::lock_guard lock(m_identityLock);
        identity = m_identity;
    }
    m_logger = createConfiguredLogger(*m_builder, identity);
    m_created.store(true);
    if (m_logger && m_bridgeKeelwork) {
        // Lives as long as the process; its destructor unregisters it at unload.
        static CKeelworkLogHandler bridge;
        Keelwork::ILoggingHandler* current = Keelwork::CLogger::CurrentHandler();
        if (!current || current == Keelwork::CLogger::DefaultHandler())
            Keelwork::CLogger::RegisterHandler(&bridge);
    }
}

CLoggingIf* ProcessLogger::get()
{
    std::call_once(m_once, [this] { create(); });
    return m_logger.get();
}

ProcessLogger& processLogger()
{
    static ProcessLogger logger(nullptr, true);
    return logger;
}

} // namespace ETWLogging
