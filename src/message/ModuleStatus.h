// ModuleStatus: the unsigned 32-bit result of every module-level and bus operation, its values,
// and the fixed texts log lines name them by.
#pragma once

#include <cstdint>

namespace Tessel {

using ModuleStatus = uint32_t;

inline constexpr ModuleStatus MODULE_STATUS_SUCCESS = 0x00000000;
inline constexpr ModuleStatus MODULE_STATUS_NOT_SUPPORTED = 0x80000001;
inline constexpr ModuleStatus MODULE_STATUS_UNSUCCESSFUL = 0x80000002;
inline constexpr ModuleStatus MODULE_STATUS_BUFFER_TOO_SMALL = 0x80000003;
inline constexpr ModuleStatus MODULE_STATUS_NOT_IMPLEMENTED = 0x80000004;
inline constexpr ModuleStatus MODULE_STATUS_INVALID_BUFFER_SIZE = 0x80000005;
inline constexpr ModuleStatus MODULE_STATUS_DATA_ERROR = 0x80000006;
inline constexpr ModuleStatus MODULE_STATUS_INVALID_HANDLE = 0x80000007;
inline constexpr ModuleStatus MODULE_STATUS_INVALID_PARAMETER = 0x80000008;
inline constexpr ModuleStatus MODULE_STATUS_NO_MEMORY = 0x80000009;
inline constexpr ModuleStatus MODULE_STATUS_NOT_FOUND = 0x8000000A;
inline constexpr ModuleStatus MODULE_STATUS_ON_DEMAND_ENABLED = 0x8000000B;
inline constexpr ModuleStatus MODULE_STATUS_PROPERTY_NOT_FOUND = 0x8000000C;
inline constexpr ModuleStatus MODULE_STATUS_TIMEOUT = 0x8000000D;
inline constexpr ModuleStatus MODULE_STATUS_NO_SUBSCRIBERS = 0x8000000E;
inline constexpr ModuleStatus MODULE_STATUS_UNKNOWN_EXCEPTION = 0x8000000F;
inline constexpr ModuleStatus MODULE_STATUS_DUPLICATE_MODULE = 0x80000010;
inline constexpr ModuleStatus MODULE_STATUS_PARTIAL_SUCCESS = 0x80000011;
inline constexpr ModuleStatus MODULE_STATUS_UWP_APP_NOT_INSTALLED = 0x80000012;
inline constexpr ModuleStatus MODULE_STATUS_APP_SERVICE_UNAVAILABLE = 0x80000013;
inline constexpr ModuleStatus MODULE_STATUS_APP_SERVICE_UNAUTHORIZED = 0x80000014;
inline constexpr ModuleStatus MODULE_STATUS_SESSION_INVALID = 0x80000015;
// Not 0x80000016: the last value sits apart from the others.
inline constexpr ModuleStatus MODULE_STATUS_INVALID_STATE = 0x800000FF;

// The fixed text of a status ("MODULE_STATUS_SUCCESS", ...); "MODULE_STATUS_UNKNOWN" for any value
// not listed above. Static storage, for "%ls" in log lines.
const wchar_t* moduleStatusName(ModuleStatus status);

} // namespace Tessel
