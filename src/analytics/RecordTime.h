// The time stamps Send puts on a record.
#pragma once

#include <cstdint>
#include <string>

namespace Tessel::Analytics::internal {

// "%Y-%m-%d %TZ" of a UTC time in seconds since 1970; false when the time is negative or its
// broken-down form is out of range.
bool formatRecordCreated(int64_t secondsSince1970, std::wstring& text);

// The performance counter in whole seconds.
uint64_t performanceCounterSeconds();

} // namespace Tessel::Analytics::internal
