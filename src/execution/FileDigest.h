// The SHA-256 digest of a file's contents, read through a handle the caller already holds, so the
// bytes hashed are those of the file the caller keeps open.
#pragma once

#include "common/WinInclude.h"

#include <string>

namespace KsExecution {

// Reads `file` from its start to its end and gives the digest as 64 lower-case hexadecimal
// characters; the file position is back at the start afterwards. False (error logged, `hex`
// untouched) when reading or hashing fails.
bool fileSha256Hex(HANDLE file, std::wstring& hex);

} // namespace KsExecution
