// A transport for tests that keeps the last event it was given; registered in place of the
// collector so tests see exactly what would have been delivered.
#pragma once

#include "analytics/SDKConnector.h"
#include "analytics/Transport.h"

#include <optional>
#include <vector>

namespace kstest {

class CapturingTransport final : public Tessel::Analytics::internal::CBaseTransport {
public:
    static inline std::optional<Tessel::Analytics::DimensionMap> lastSent;
    static inline std::vector<Tessel::Analytics::DimensionMap> allSent;
    static inline int opened = 0;

    CapturingTransport(std::wstring name, bool opens) : CBaseTransport(std::move(name), 3), m_opens(opens) {}
    bool open() override
    {
        ++opened;
        return m_opens;
    }
    bool send(const Tessel::Analytics::DimensionMap& dimensions) override
    {
        lastSent = dimensions;
        allSent.push_back(dimensions);
        return true;
    }
    void close() override {}

    static Tessel::Analytics::TransportFactory factory(std::wstring name, bool opens)
    {
        return [name, opens] { return std::make_unique<CapturingTransport>(name, opens); };
    }

private:
    bool m_opens;
};

// Installs capturing registrations for one test and restores the defaults afterwards.
class CapturingRegistration {
public:
    CapturingRegistration(Tessel::Analytics::TransportFactory first, Tessel::Analytics::TransportFactory second)
    {
        CapturingTransport::lastSent.reset();
        CapturingTransport::allSent.clear();
        CapturingTransport::opened = 0;
        Tessel::Analytics::registerTransports(std::move(first), std::move(second));
    }
    ~CapturingRegistration() { Tessel::Analytics::registerDefaultTransports(); }
};

} // namespace kstest
