// Transport choice and hand-over for one analytics event.
#include "analytics/SDKConnector.h"

#include "analytics/AnalyticsNames.h"
#include "analytics/LegacyTransport.h"
#include "common/WinInclude.h"

#include <mutex>

namespace Tessel::Analytics {

namespace {

struct Registrations {
    std::mutex mutex;
    TransportFactory first;  // written under mutex
    TransportFactory second; // written under mutex
};

Registrations& registrations()
{
    static Registrations instance;
    static std::once_flag defaults;
    std::call_once(defaults, [] { instance.first = [] { return std::make_unique<CLegacyTransport>(); }; });
    return instance;
}

// The running program's path with every backslash doubled.
std::wstring callerName()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring doubled;
    for (DWORD i = 0; i < length && i < MAX_PATH; ++i) {
        doubled += path[i];
        if (path[i] == L'\\')
            doubled += L'\\';
    }
    return doubled;
}

std::unique_ptr<internal::ITransport> openedFrom(const TransportFactory& factory)
{
    if (!factory)
        return nullptr;
    std::unique_ptr<internal::ITransport> transport = factory();
    if (transport && transport->open())
        return transport;
    return nullptr;
}

} // namespace

void registerTransports(TransportFactory firstChoice, TransportFactory secondChoice)
{
    Registrations& r = registrations();
    std::lock_guard lock(r.mutex);
    r.first = std::move(firstChoice);
    r.second = std::move(secondChoice);
}

void registerDefaultTransports()
{
    registerTransports([] { return std::make_unique<CLegacyTransport>(); }, nullptr);
}

CSDKConnector::~CSDKConnector() { disconnect(); }

void CSDKConnector::chooseTransport()
{
    TransportFactory first, second;
    {
        Registrations& r = registrations();
        std::lock_guard lock(r.mutex);
        first = r.first;
        second = r.second;
    }
    m_transport = openedFrom(first);
    if (!m_transport)
        m_transport = openedFrom(second);
    if (!m_transport) {
        m_transport = std::make_unique<CNullTransport>();
        m_transport->open();
    }
}

bool CSDKConnector::connect()
{
    chooseTransport();
    return m_transport != nullptr;
}

bool CSDKConnector::send(DimensionMap& dimensions)
{
    if (!m_transport)
        return false;
    dimensions[names::kCallerName] = callerName();
    dimensions[names::kTransportName] = m_transport->name() + L" v" + std::to_wstring(m_transport->version());
    return m_transport->send(dimensions);
}

void CSDKConnector::disconnect()
{
    if (m_transport) {
        m_transport->close();
        m_transport.reset();
    }
}

} // namespace Tessel::Analytics
