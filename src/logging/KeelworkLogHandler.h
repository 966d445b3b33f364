// ETWLogging::CKeelworkLogHandler: carries the support library's log lines into the process-wide
// logger, mapping its levels (0, 1 -> Normal; 2 -> Error; others -> Warning).
#pragma once

#include "common/KeelworkLogger.h"

namespace ETWLogging {

class CKeelworkLogHandler final : public Keelwork::ILoggingHandler {
public:
    CKeelworkLogHandler() = default;
    // Unregisters itself, so the support library never calls a destroyed handler.
    ~CKeelworkLogHandler();

    void handle(uint32_t level, const char* file, const char* function, int line, const wchar_t* text) override;

    static uint32_t mapLevel(uint32_t keelworkLevel);
};

} // namespace ETWLogging
