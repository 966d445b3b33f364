// Names the task-management layer shares with the engine and with its clients, each spelled once.
#pragma once

namespace Orbis::Names {

// Created and waited on by the engine; setting it makes the engine reload its task list.
inline constexpr const wchar_t* kNewTaskEvent = L"Global\\ZARN_{F20D02AC-A303-40AB-9D5E-9B6978B136A3}";

// Task member outside the field table: read by create and modify, written by query.
inline constexpr const wchar_t* kEnabledMember = L"enabled";
inline constexpr const wchar_t* kTrueText = L"true";
inline constexpr const wchar_t* kFalseText = L"false";

} // namespace Orbis::Names
