// One subscription on a bus client, ended when its owner is: the unsubscription waits for a
// message in flight, so nothing the handler touches may go before it.
//
// Threading: the owner's thread.
#pragma once

#include "messagebus/MessageBusClient.h"

#include <memory>
#include <string>

namespace Keelwork::engine {

class BusSubscription {
public:
    BusSubscription() = default;
    ~BusSubscription() { end(); }
    BusSubscription(const BusSubscription&) = delete;
    BusSubscription& operator=(const BusSubscription&) = delete;

    void hold(std::shared_ptr<Tessel::MessageBusClient> bus, std::wstring alias)
    {
        end();
        m_bus = std::move(bus);
        m_alias = std::move(alias);
    }
    void end()
    {
        if (m_bus)
            m_bus->unsubscribe(m_alias);
        m_bus.reset();
    }

private:
    std::shared_ptr<Tessel::MessageBusClient> m_bus;
    std::wstring m_alias;
};

} // namespace Keelwork::engine
