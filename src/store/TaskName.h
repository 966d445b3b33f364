// Task names as registry key names: lower-cased (A-Z only), cut to 127 characters, and checked
// so that a name can never reach outside its own key.
#pragma once

#include <string>

namespace KsStore {

// Lower-cases the letters A-Z and cuts the name to kMaxTaskNameChars characters.
std::wstring normalizeTaskName(const wchar_t* name);

// The key name a task is stored under: the normalised name as the registry gets it through the
// ANSI code page (AnsiText.h). The task's key and its history value both carry it.
std::wstring registryTaskName(const wchar_t* name);

// True when the name, as the registry will see it, names exactly one sub-key: not empty and
// without a backslash.
bool isValidTaskKeyName(const wchar_t* registryName);

} // namespace KsStore
