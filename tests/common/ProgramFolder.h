// Where this test program, and what the build puts beside it, lives.
#pragma once

#include "common/WinInclude.h"

#include <string>

namespace kstest {

inline std::wstring programPath()
{
    wchar_t path[MAX_PATH] = {};
    return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

// Without a closing backslash.
inline std::wstring testProgramFolder()
{
    const std::wstring path = programPath();
    return path.substr(0, path.find_last_of(L'\\'));
}

} // namespace kstest
