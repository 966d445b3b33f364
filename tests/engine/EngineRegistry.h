// Registry helpers for the engine tests: reading back what the code under test wrote.
#pragma once

#include "common/WinInclude.h"

#include <optional>

namespace kstest {

// The REG_DWORD at HKEY_LOCAL_MACHINE\path\name, or nothing when absent or of another type.
inline std::optional<DWORD> readDword(const wchar_t* path, const wchar_t* name)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

} // namespace kstest
