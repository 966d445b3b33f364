// The program file name of a registered COM class, short and long form.
#pragma once

#include "common/WinInclude.h"

#include <string>

// Reads the class's InprocServer32 path (or, when it has none, its LocalServer32 command line)
// and gives the file name with extension of that path in moduleName and of its long form in
// longModuleName. Returns 0 or the Windows (or CRT) error of the failing step, logged.
DWORD KsModuleNameFromCLSID(const wchar_t* clsid, std::wstring& moduleName, std::wstring& longModuleName);
