// Whether a program of a given name is running, by the base names of all processes' programs.
#pragma once

#include "common/WinInclude.h"

class CKsWin32APIBase;

namespace KsExecution {

// True at the first process whose program base name equals name1 or name2 (case-insensitive);
// a null or empty name is ignored. Processes that cannot be read are skipped and logged.
bool IsProcessRunning(const wchar_t* name1, const wchar_t* name2);
// The same through a given function table (tests substitute single calls).
bool IsProcessRunning(const CKsWin32APIBase& api, const wchar_t* name1, const wchar_t* name2);

} // namespace KsExecution
