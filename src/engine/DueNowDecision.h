// What the engine would decide if a task fell due now and stood at the head of the run queue: the
// pump's one decision (HeadTaskDecision) over the engine's state as it is, then the launch's own
// checks and validation, asked of the probes as they answer at this moment (or as the caller
// assumes them), with nothing started, nothing written and nothing logged of the pump's lines.
//
// Threading: any thread with COM initialised; the bus probes' questions may take their time-outs.
#pragma once

#include "engine/HeadTaskDecision.h"

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

// Null when no task of that name is stored. `view`: the running engine's (runningEngineView).
std::optional<DueNowAnswer> decideIfDueNow(const std::wstring& name, const KsPlatform::ProbeServices& probes,
                                           const PumpView& view);

// The running engine's view; a fresh pump with the default settings while no engine runs.
PumpView runningEngineView();

} // namespace Keelwork::engine
