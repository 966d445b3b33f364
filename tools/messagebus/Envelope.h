// A message as the broker carries it: its own copy of the options record (stamped with sender,
// message id and session) and of the three strings, shared by every delivery of it.
#pragma once

#include "busapi/MessageBusApi.h"

#include <cstdint>
#include <memory>
#include <string>

namespace messagebus {

struct Envelope {
    MessageOptions options;
    std::wstring name;
    std::wstring alias;
    std::wstring payload;
};

// What the broker writes into every message it accepts.
struct Stamp {
    uint32_t processId;
    uint32_t sessionId;
    uint64_t handleId;
    uint64_t messageSequence;
};

// Copies the caller's record (100 bytes for a version-1 record, which is upgraded to version 2)
// and strings (null counts as empty), then writes origin, messageId and, when it is 0, sessionId.
std::shared_ptr<Envelope> makeEnvelope(const MessageOptions& source, const wchar_t* name, const wchar_t* alias,
                                       const wchar_t* payload, const Stamp& stamp);

} // namespace messagebus
