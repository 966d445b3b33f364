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
    // Reads `path` ahead of its validate(), while its caller has nothing else to do; the answer of
    // validate() stays what it would have been. What was read stays open with the check's sharing
    // until a validate() of the same path takes it or dropPrepared() lets it go, so its holder
    // must let it go wherever the launch it read for does not come.
    virtual void prepare(const wchar_t* path) { (void)path; }
    virtual void dropPrepared() {}

protected:
    ITrustValidator() = default;
    ITrustValidator(const ITrustValidator&) = default;
    ITrustValidator& operator=(const ITrustValidator&) = default;
};

// The production validator. One instance serves every thread; what prepare() read waits under a
// lock for the validate() that takes it.
ITrustValidator& systemTrustValidator();

// The validator a launch uses: the one it was given, else the system's.
inline ITrustValidator& trustValidatorOr(ITrustValidator* given)
{
    return given ? *given : systemTrustValidator();
}

} // namespace KsExecution
