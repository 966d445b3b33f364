// Running processes through the function table: their ids and the base names of their programs.
// Callers log failures themselves, at the level their own contract gives.
#pragma once

#include "platform/KsWin32API.h"

#include <string>
#include <vector>

namespace KsExecution {

inline constexpr DWORD kMaxProcessIds = 1040;

// 0 and the ids of up to kMaxProcessIds running processes, or the error of EnumProcesses.
DWORD listProcessIds(const CKsWin32APIBase& api, std::vector<DWORD>& pids);

// The step of processBaseName that failed, as the log line names it.
enum class BaseNameStep { OpenProcess, EnumProcessModules, GetModuleBaseName };

// The log format for a failed step, taking the process id and the error (both %u).
const wchar_t* baseNameFailureFormat(BaseNameStep step);

// 0 and the base name of the process's first module, or the error and the step that failed.
DWORD processBaseName(const CKsWin32APIBase& api, DWORD pid, std::wstring& baseName, BaseNameStep& failedStep);

} // namespace KsExecution
