// Expansion of the "$(Name)" macros a library search directory may hold.
#pragma once

#include <string>

namespace Tessel {

// Replaces every macro of `text`; false (and `expanded` untouched) when a macro is unknown or
// its value cannot be found.
bool expandPathMacros(const std::wstring& text, std::wstring& expanded);

// The value of one macro name without its "$(" and ")", or false.
bool pathMacroValue(const std::wstring& name, std::wstring& value);

} // namespace Tessel
