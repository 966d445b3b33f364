// Reads the logger's numbers from HKEY_LOCAL_MACHINE "SOFTWARE\Kestrel\Logging".
#pragma once

#include <cstdint>

namespace ETWLogging {

// 0, or the Windows error code when the key or the number cannot be read.
uint32_t readLoggingNumber(const wchar_t* valueName, uint32_t& value);

} // namespace ETWLogging
