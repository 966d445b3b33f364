// What the engine would decide if a task fell due now: the checks of the connected standby, the
// pump's idle and full-screen holds, and the launch's own checks and validation, asked of the
// probes as they answer at this moment, with nothing started and nothing written.
//
// Threading: any thread with COM initialised; the bus probes' questions may take their time-outs.
#pragma once

#include "engine/SchedulerSettings.h"

#include <cstdint>
#include <optional>
#include <string>

namespace KsPlatform {
struct ProbeServices;
}

namespace Keelwork::engine {

struct DueNowAnswer {
    bool run = true;
    std::wstring reason;           // for a deferral: a hold word, "connected standby", or the
                                   // deferral code's reason word
    std::optional<uint32_t> code;  // the deferral code, for the launch's own deferrals
    uint32_t delay = 0;            // seconds until the engine looks again; 0: when the state ends
};

// Null when no task of that name is stored. `settings`: the running engine's, else the defaults.
std::optional<DueNowAnswer> decideIfDueNow(const std::wstring& name, const KsPlatform::ProbeServices& probes,
                                           const SchedulerSettings& settings);

// The running engine's settings; the defaults while no engine runs.
SchedulerSettings runningEngineSettings();

} // namespace Keelwork::engine
