// CSDKConnector: for one send, picks a transport (first choice, second choice, else the null
// transport), stamps the caller and transport names, and hands the event over.
//
// The two choices are registered once at start-up (registerTransports); by default the first
// choice is the legacy transport and there is no second.
#pragma once

#include "analytics/Transport.h"

#include <functional>
#include <memory>

namespace Tessel::Analytics {

using TransportFactory = std::function<std::unique_ptr<internal::ITransport>()>;

// Replaces both registrations; an empty factory is no choice. Call before events are sent.
void registerTransports(TransportFactory firstChoice, TransportFactory secondChoice);
// Back to the default registrations.
void registerDefaultTransports();

class CSDKConnector {
public:
    CSDKConnector() = default;
    virtual ~CSDKConnector();
    CSDKConnector(const CSDKConnector&) = delete;
    CSDKConnector& operator=(const CSDKConnector&) = delete;

    virtual bool connect();                         // 1: choose and open
    virtual bool send(DimensionMap& dimensions);    // 2
    virtual void disconnect();                      // 3
    virtual void chooseTransport();                 // 4

private:
    std::unique_ptr<internal::ITransport> m_transport;
};

} // namespace Tessel::Analytics
