// Stand-ins for the suite modules a module asks over the bus: each answers its request with a
// reply name, set on the host's command line and changeable from a scenario, and the installer's
// completion is announced once. A stand-in prints its first answer and each answer that differs
// from the one before; a module asks on every pump call, and the repeats would bury the rest.
#pragma once

#include "HostOptions.h"
#include "StandInNames.h"

#include <mutex>
#include <string>

namespace modhost {

class HostBus;
struct SeenMessage;

class StandIns {
public:
    // Subscribes the stand-ins the options give an answer; false if the bus refused one. The
    // bus calls back into this object until it is released, so this object must outlive it.
    bool install(HostBus& bus, const HostOptions& options);

    // From now on `which` answers `reply`; subscribes it first if it did not answer before.
    // False if the bus refused the subscription.
    bool setAnswer(HostBus& bus, StandIn which, const std::wstring& reply);

private:
    struct Answer {
        bool subscribed = false;
        std::wstring reply;        // empty: nobody answers
        std::wstring lastPrinted;  // the reply of the last answer printed
        unsigned repeats = 0;      // answers given since the last printed one
    };

    void onRequest(HostBus& bus, StandIn which, const SeenMessage& seen);
    Answer& answerOf(StandIn which) { return which == StandIn::Standby ? m_standby : m_notification; }

    std::mutex m_mutex;
    Answer m_standby;       // written under m_mutex
    Answer m_notification;  // written under m_mutex
};

// Publishes the installer's completion message, if the options ask for it.
void announceInstallerComplete(HostBus& bus, const HostOptions& options);

} // namespace modhost
