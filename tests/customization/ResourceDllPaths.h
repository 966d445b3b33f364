// Where the test program finds the built resource DLL, and the registry values that make the
// string loader accept it.
#pragma once

#include <string>

namespace kstest {

// Folder of the running program, with a trailing backslash.
std::wstring programFolder();
// Full path of KsOemRes.dll beside the program.
std::wstring resourceDllPath();
// Writes the product's registered "ResDll" and "UIDll" (the loader refuses to work without them).
void registerProductDlls(const std::wstring& resDll);

} // namespace kstest
