// Stand-ins for the suite modules a module asks over the bus: each answers its request with the
// reply name set on the host's command line, and the installer's completion is announced once.
#pragma once

#include "HostOptions.h"

namespace modhost {

class HostBus;

// Subscribes the stand-ins the options ask for; false if the bus refused a subscription.
bool installStandIns(HostBus& bus, const HostOptions& options);

// Publishes the installer's completion message, if the options ask for it.
void announceInstallerComplete(HostBus& bus, const HostOptions& options);

} // namespace modhost
