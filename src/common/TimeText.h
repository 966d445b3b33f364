// A time of the task store (seconds since 1970, UTC) as local text for log lines.
#pragma once

#include <cstdint>
#include <string>

namespace Keelwork {

// "YYYY-MM-DD HH:MM:SS" in local time (at most 50 characters); "?" when it cannot be converted.
std::wstring localTimeText(uint32_t seconds);

} // namespace Keelwork
