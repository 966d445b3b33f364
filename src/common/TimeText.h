// A time of the task store (seconds since 1970, UTC) as local text for log lines and run
// previews, read through the same offset the calendar rule places its runs with.
#pragma once

#include <cstdint>
#include <string>

namespace Keelwork {

// "YYYY-MM-DD HH:MM:SS" in local time.
std::wstring localTimeText(uint32_t seconds);

// ISO 8601 local time with the offset in force at that instant, "2026-12-07T03:30:00+01:00"
// ("+00:00" at UTC). Inside an hour the clock repeats, the two
// instants that read alike differ in their offsets.
std::wstring isoLocalTimeText(uint32_t seconds);

} // namespace Keelwork
