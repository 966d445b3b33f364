// Whether a program file carries a valid signature by one of the suite's own signers.
#pragma once

#include "common/WinInclude.h"

namespace KsExecution {

// Verifies the signature of the file open as `file` (read through that handle) and checks its
// signer against the trusted names and thumbprints. True when both pass; failures are logged.
bool hasTrustedSignature(const wchar_t* path, HANDLE file);

} // namespace KsExecution
