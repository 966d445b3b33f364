// Real-bus fixture and a waitable counter.
#include "RealBusFixture.h"

#include "TestFolder.h"

#include "messagebus/MessageBusConstants.h"

namespace kstest {

void RealBusFixture::SetUp()
{
    RegistryFixture::SetUp();
    setString(Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, programFolder());
}

std::shared_ptr<Tessel::MessageBusClient> RealBusFixture::makeClient()
{
    return std::make_shared<Tessel::MessageBusClient>();
}

void Counter::add(int n)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_value += n;
    }
    m_changed.notify_all();
}

int Counter::value() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_value;
}

bool Counter::waitFor(int target, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, timeout, [&] { return m_value >= target; });
}

} // namespace kstest
