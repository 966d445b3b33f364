// The pump's questions, answered by the platform's probes; a bus question ends early when the
// engine stops, and goes through the engine's own bus client once it has one. Within one pump step
// the connected-standby answer the step began with is the answer: the idle and full-screen probes
// do not ask the system monitor again microseconds later, one bus round trip before each start.
//
// Threading: the engine thread only.
#pragma once

#include "common/WinInclude.h"
#include "engine/PumpPolicy.h"

#include <memory>
#include <optional>

namespace Tessel {
class MessageBusClient;
}

namespace Keelwork::engine {

class SystemPumpProbes final : public PumpProbes {
public:
    explicit SystemPumpProbes(HANDLE exitEvent) : m_exitEvent(exitEvent) {}
    void useBus(std::shared_ptr<Tessel::MessageBusClient> bus) { m_bus = std::move(bus); }
    // A pump step begins: nothing is known of it yet.
    void beginStep() { m_standby.reset(); }
    bool idle() override;
    bool fullScreen() override;
    bool connectedStandby();
    bool updateInstalling();

private:
    HANDLE m_exitEvent;  // not owned
    std::shared_ptr<Tessel::MessageBusClient> m_bus;
    std::optional<bool> m_standby;  // this step's connected-standby answer, once asked
};

} // namespace Keelwork::engine
