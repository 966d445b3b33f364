// Fixture for tests over the real bus library: the host's install folder is registered (the
// default search list needs it resolvable) and clients load MessageBus.dll the production way.
#pragma once

#include "RegistryFixture.h"

#include "messagebus/MessageBusClient.h"

#include <condition_variable>
#include <chrono>
#include <memory>
#include <mutex>

namespace kstest {

class RealBusFixture : public RegistryFixture {
protected:
    void SetUp() override;
    static std::shared_ptr<Tessel::MessageBusClient> makeClient();
};

// A counter a test can wait on, with a bound.
class Counter {
public:
    void add(int n = 1);
    int value() const;
    // True when the count reached `target` within `timeout`.
    bool waitFor(int target, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    int m_value = 0;
};

} // namespace kstest
