// Where the test program finds the built resource DLL, and the registry values that make the
// string loader accept it.
#pragma once

#include "ProgramFolder.h"

#include <string>

namespace kstest {

// Full path of KsOemRes.dll beside the program.
std::wstring resourceDllPath();
// Writes the product's registered "ResDll" and "UIDll" (the loader refuses to work without them).
void registerProductDlls(const std::wstring& resDll);

} // namespace kstest
