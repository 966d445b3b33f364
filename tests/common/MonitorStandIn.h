// The system monitor and the session monitor, played by a bus client in the test's process: each
// request the test names is answered with the reply it chose, which it may change at any time.
// The client is made at the first use, once the test has told the registry where the bus library is.
#pragma once

#include "message/Message.h"
#include "messagebus/MessageBusClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

namespace kstest {

class MonitorStandIn {
public:
    // From now on `request` is answered with a reply named `reply`.
    void answer(const wchar_t* request, const wchar_t* reply)
    {
        if (!m_answered.insert(request).second)
            client()->unsubscribe(request);
        // The client ends its subscriptions, waiting for a callback in flight, before it goes, so
        // a plain pointer is enough; a callback that owned it could end it on the bus's own worker.
        Tessel::MessageBusClient* self = client().get();
        std::wstring name = reply;
        ASSERT_EQ(client()->subscribe(request, [self, name](std::shared_ptr<Tessel::Message> m) -> uint32_t {
            return m ? self->publish(Tessel::Message::createReply(*m, name, L"Monitor", L"")) : 0;
        }), Tessel::MODULE_STATUS_SUCCESS);
    }

    // The client, for the test's own subscriptions and messages.
    const std::shared_ptr<Tessel::MessageBusClient>& client()
    {
        if (!m_client)
            m_client = std::make_shared<Tessel::MessageBusClient>();
        return m_client;
    }
    Tessel::MessageBusClient* operator->() { return client().get(); }
    void reset()
    {
        m_client.reset();
        m_answered.clear();
    }

private:
    std::shared_ptr<Tessel::MessageBusClient> m_client;
    std::set<std::wstring> m_answered;
};

} // namespace kstest
