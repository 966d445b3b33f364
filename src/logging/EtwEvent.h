// Builds the trace event the ETW logger emits for one log line: a MOF event header followed by
// two data parts, a packed record of where the line comes from and the message in UTF-8.
#pragma once

#include "common/WinInclude.h"

#include <evntrace.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ETWLogging {

struct EtwEventFields {
    uint32_t processId = 0;
    uint32_t threadId = 0;
    std::wstring_view processImageName;
    const char* file = nullptr;
    const char* function = nullptr;
    int line = 0;
    std::wstring_view fileVersion;
    std::wstring_view productVersion;
    std::wstring_view group;
};

struct EtwEventPayload {
    // pid, tid (u32); image name, file, function (u16 count + UTF-16); line (u32); the two
    // version texts and the group (u16 count + UTF-16); the UTF-8 part's byte length (u64).
    std::vector<unsigned char> record;
    std::string utf8Message;
};

EtwEventPayload buildEtwEventPayload(const EtwEventFields& fields, std::wstring_view message);

// The event level: the log level when it is 1..5, else 3.
uint8_t etwEventLevel(uint32_t level);

struct EtwTraceEvent {
    EVENT_TRACE_HEADER header;
    MOF_FIELD parts[2];
};

// Fills header and data pointers; `payload` must outlive the event's use.
void fillEtwTraceEvent(EtwTraceEvent& event, uint32_t level, const EtwEventPayload& payload);

} // namespace ETWLogging
