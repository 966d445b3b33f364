// NotQuiteNullDacl: the access list given to the engine's new-task event and to every task
// completion event, so that programs in a user's session can open, wait on and set them: Everyone
// may do all that, but may neither delete the event nor change its access list.
#pragma once

#include "common/UniqueHandle.h"

class NotQuiteNullDacl {
public:
    NotQuiteNullDacl() = default;
    NotQuiteNullDacl(const NotQuiteNullDacl&) = delete;
    NotQuiteNullDacl& operator=(const NotQuiteNullDacl&) = delete;

    // Builds the list; false with lastError() set when a step failed.
    bool Create();
    PACL acl() const noexcept { return static_cast<PACL>(m_acl.get()); }
    DWORD lastError() const noexcept { return m_lastError; }

    // Creates the list and gives it to a kernel object as its DACL: 0, or the error of the step
    // that failed (building the list, then SetSecurityInfo). `built` tells which.
    static DWORD ApplyTo(HANDLE object, bool& built);

private:
    Keelwork::unique_sid m_everyone;
    Keelwork::unique_heap_block m_acl;
    DWORD m_lastError = 0;
};
