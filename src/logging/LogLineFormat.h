// Builds one line of the file log: timestamp, header, the optional fields Options selects, and the
// message, each part closed by "$".
#pragma once

#include "logging/LogClock.h"

#include <cstdint>
#include <string>

namespace ETWLogging {

// Options bits of the file logger.
enum LogOptions : uint32_t {
    LOG_OPTION_DEBUGGER = 1,
    LOG_OPTION_PROCESS_THREAD = 4,
    LOG_OPTION_SOURCE = 8,
    LOG_OPTION_IMAGE_NAME = 16,
    LOG_OPTION_FUNCTION = 32,
};

// "Normal", "Warning", ... for levels 1..6; null outside that range.
const wchar_t* levelName(uint32_t level);

struct LogLineFields {
    LocalTimestamp time;
    uint32_t level = 0;
    uint32_t options = 0;
    const wchar_t* processImageName = nullptr; // null: no image-name field
    uint32_t processId = 0;
    uint32_t threadId = 0;
    const char* file = nullptr;
    int line = 0;
    const char* function = nullptr;
};

// Appends the line for `message` to `out`. False (nothing appended) for a level outside 1..6.
bool buildLogLine(const LogLineFields& fields, const std::wstring& message, std::wstring& out);

} // namespace ETWLogging
