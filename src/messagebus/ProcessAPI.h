// Process facts the bus client asks the system for: the session a process runs in.
#pragma once

#include <cstdint>

namespace Tessel {

class ProcessAPI {
public:
    virtual ~ProcessAPI() = default;
    // True with the session id of `processId`; false when the system cannot tell.
    virtual bool processIdToSessionId(uint32_t processId, uint32_t& sessionId);
    virtual uint32_t currentProcessId();
};

} // namespace Tessel
