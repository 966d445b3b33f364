// The engine's private objects: its window, waitable timer, window timers and messages. The events
// other parts set to wake it are in common/EngineEvents.h.
#pragma once

#include "common/EngineEvents.h"

namespace Keelwork::engine {

using Keelwork::kLogonEvent;
using Keelwork::kNewTaskEvent;

// The engine window's objects (private to the engine thread).
inline constexpr wchar_t kWindowClass[] = L"{8C85739A-06DC-4DEF-B778-B2C18509E126}";
inline constexpr wchar_t kWindowTitle[] = L"53E6AE25FCA";
inline constexpr wchar_t kWaitableTimerName[] = L"Global\\ZARN_{482EF58A-470B-40C1-84BC-65B4DB25713D}";
inline constexpr unsigned long long kStartDelayTimer = 0x4EC116;
inline constexpr unsigned long long kLogonTimer = 0x4EC117;
inline constexpr unsigned kLogonTimerMs = 30000;
inline constexpr unsigned kLogonMessage = 0x8065;
inline constexpr unsigned kPumpMessage = 0x8066;
inline constexpr unsigned kRunNowMessage = 0x8067;
// An auto-maintenance run was stopped from another thread: the engine thread leaves its phase.
inline constexpr unsigned kMaintenanceEndedMessage = 0x8068;

// How far ahead the timer is armed while the machine is in connected standby.
inline constexpr unsigned long kConnectedStandbyRearmSeconds = 604800;

} // namespace Keelwork::engine
