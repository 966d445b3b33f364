// The text parts of a preset description: the time of day in the user's own format, and the
// filling of the {DAY} and {TIME} placeholders.
#pragma once

#include <cstdint>
#include <string>

namespace Orbis {

// hour:minute in the user's locale picture without seconds; empty when it cannot be formatted
// (an hour or minute out of range, for one).
std::wstring formatPresetTime(uint32_t hour, uint32_t minute);

// Every {DAY} replaced by day and every {TIME} by time.
std::wstring fillPresetDescription(std::wstring description, const std::wstring& day, const std::wstring& time);

} // namespace Orbis
