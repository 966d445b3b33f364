// The check a task's program must pass before it is started: its contents are on the trusted-file
// allow-list, or it is signed by one of the suite's signers.
#pragma once

#include "common/UniqueHandle.h"

namespace KsExecution {

class ITrustValidator {
public:
    virtual ~ITrustValidator() = default;
    // 87 for a null or empty path, 0 when the file is trusted, 5 otherwise. On 0, `heldFile` owns
    // the program file, opened with sharing limited to reading (no write, no delete sharing), and
    // the caller keeps it until the program has been started (or its start failed), so the
    // checked file is the file that runs. On any other answer `heldFile` is untouched.
    virtual DWORD validate(const wchar_t* path, Keelwork::unique_handle& heldFile) = 0;

protected:
    ITrustValidator() = default;
    ITrustValidator(const ITrustValidator&) = default;
    ITrustValidator& operator=(const ITrustValidator&) = default;
};

// The production validator; stateless, so one instance serves every thread.
ITrustValidator& systemTrustValidator();

} // namespace KsExecution
