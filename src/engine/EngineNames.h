// The named kernel objects the engine creates and other parts of the suite signal to wake it;
// each spelled once.
#pragma once

namespace Keelwork::engine {

// Set by task management after a task was stored: the engine re-reads its task list.
inline constexpr const wchar_t* kNewTaskEvent = L"Global\\ZARN_{F20D02AC-A303-40AB-9D5E-9B6978B136A3}";
// Set by the scheduler module when the system monitor reports a user log-on.
inline constexpr const wchar_t* kLogonEvent = L"ZARN_{93048841-4F93-45C4-96F1-F20AF27EC5D9}";

// The engine window's objects (private to the engine thread).
inline constexpr wchar_t kWindowClass[] = L"{8C85739A-06DC-4DEF-B778-B2C18509E126}";
inline constexpr wchar_t kWindowTitle[] = L"53E6AE25FCA";
inline constexpr wchar_t kWaitableTimerName[] = L"Global\\ZARN_{482EF58A-470B-40C1-84BC-65B4DB25713D}";
inline constexpr unsigned long long kStartDelayTimer = 0x4EC116;
inline constexpr unsigned long long kLogonTimer = 0x4EC117;
inline constexpr unsigned kLogonTimerMs = 30000;
inline constexpr unsigned kLogonMessage = 0x8065;
inline constexpr unsigned kPumpMessage = 0x8066;

// How far ahead the timer is armed while the machine is in connected standby.
inline constexpr unsigned long kConnectedStandbyRearmSeconds = 604800;

} // namespace Keelwork::engine
