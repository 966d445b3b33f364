// The named events through which the rest of the system wakes the scheduler engine; each spelled
// once, below both the engine that creates them and the parts that set them.
#pragma once

namespace Keelwork {

// Set by task management after a task was stored: the engine re-reads its task list.
inline constexpr const wchar_t* kNewTaskEvent = L"Global\\ZARN_{F20D02AC-A303-40AB-9D5E-9B6978B136A3}";
// Set by the scheduler module when the system monitor reports a user log-on.
inline constexpr const wchar_t* kLogonEvent = L"ZARN_{93048841-4F93-45C4-96F1-F20AF27EC5D9}";

} // namespace Keelwork
