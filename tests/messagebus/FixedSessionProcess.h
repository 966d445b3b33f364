// A process service that reports a chosen session id, or fails the lookup.
#pragma once

#include "messagebus/ProcessAPI.h"

#include <optional>

namespace kstest {

class FixedSessionProcess final : public Tessel::ProcessAPI {
public:
    explicit FixedSessionProcess(std::optional<uint32_t> sessionId) : m_sessionId(sessionId) {}

    bool processIdToSessionId(uint32_t, uint32_t& sessionId) override
    {
        if (!m_sessionId)
            return false;
        sessionId = *m_sessionId;
        return true;
    }

private:
    std::optional<uint32_t> m_sessionId;
};

} // namespace kstest
