// The allow-list of trusted program files: one registry value per file, named by the digest of
// its contents. The installer writes it; task launch reads it.
#pragma once

#include "common/WinInclude.h"

#include <string>

namespace KsExecution {

// True when the list names the digest (64 lower-case hexadecimal characters).
bool isDigestListed(const std::wstring& hex);

// Lists the file as trusted the way the installer does: value <digest> = REG_SZ file name. A list
// key created here gets a descriptor that lets only SYSTEM and Administrators change it. Returns 0
// or a Windows error; the digest goes to *hex when asked and known.
DWORD trustFile(const wchar_t* path, std::wstring* hex = nullptr);

} // namespace KsExecution
