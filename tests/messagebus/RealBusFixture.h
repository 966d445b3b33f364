// Fixture for tests over the real bus library: the host's install folder is registered (the
// default search list needs it resolvable) and clients load MessageBus.dll the production way.
#pragma once

#include "RegistryFixture.h"
#include "ProgramFolder.h"

#include "messagebus/MessageBusClient.h"
#include "messagebus/MessageBusConstants.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace kstest {

class RealBusFixture : public RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        setString(Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, testProgramFolder());
    }
    static std::shared_ptr<Tessel::MessageBusClient> makeClient() { return std::make_shared<Tessel::MessageBusClient>(); }
};

// A counter a test can wait on, with a bound.
class Counter {
public:
    void add()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_value;
        m_changed.notify_all();
    }
    int value() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_value;
    }
    // True when the count reached `target` within `timeout`.
    bool waitFor(int target, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, timeout, [&] { return m_value >= target; });
    }

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    int m_value = 0;
};

} // namespace kstest
