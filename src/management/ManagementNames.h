// Names the task-management layer shares with its clients, each spelled once.
#pragma once

namespace Orbis::Names {

// Task member outside the field table: read by create and modify, written by query.
inline constexpr const wchar_t* kEnabledMember = L"enabled";
inline constexpr const wchar_t* kTrueText = L"true";
inline constexpr const wchar_t* kFalseText = L"false";

} // namespace Orbis::Names
