// The parts of the verdict sentences that name a cause in words: why the engine runs nothing, what
// holds a task, why its last attempt was deferred, and which occasion an occasion task waits for.
#pragma once

#include "insight/TaskPicture.h"
#include "state/EngineState.h"

#include <cstdint>
#include <string>

namespace KsInsight {

// A whole sentence: "The engine is suspended because a restart of the machine is pending and runs
// no task until the machine restarts."
std::wstring engineSentence(const KsState::EngineState& engine, uint32_t now);
// What follows "because": "a full-screen application runs; it runs at the latest at 14:32:11".
std::wstring holdCause(const KsState::TaskHold& hold, uint32_t now);
// What follows "because": "the machine ran on battery", "the program failed its validation (error 5)".
std::wstring deferralCause(const KsState::DeferralOutcome& deferral);
// A whole sentence: "It runs at every 3rd logon; 1 has passed since it last ran, so it runs at the
// 2nd logon from now."
std::wstring occasionSentence(const TaskPicture& picture);

} // namespace KsInsight
