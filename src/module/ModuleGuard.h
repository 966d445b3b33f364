// The catch-all frames of the boundaries the module owns. No exception leaves through either:
// it becomes MODULE_STATUS_UNKNOWN_EXCEPTION.
//
// guardStatus (message handlers and everything below the table) logs what it caught at level
// Error, so a failure never vanishes. guardTableCall (the host's function table) stays silent:
// the table logs nothing of its own, and whatever threw below it was logged by a guardStatus or
// where it was thrown.
#pragma once

#include "logging/internal_logging.h"
#include "message/ModuleStatus.h"

#include <exception>

namespace Tessel {

template <typename Body>
ModuleStatus guardStatus(Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& e) {
        KSLOG_ERROR(L"Exception caught: %hs. Returning %ls(%lu).", e.what(),
                    moduleStatusName(MODULE_STATUS_UNKNOWN_EXCEPTION),
                    static_cast<unsigned long>(MODULE_STATUS_UNKNOWN_EXCEPTION));
    } catch (...) {
        KSLOG_ERROR(L"Unknown exception caught. Returning %ls(%lu).", moduleStatusName(MODULE_STATUS_UNKNOWN_EXCEPTION),
                    static_cast<unsigned long>(MODULE_STATUS_UNKNOWN_EXCEPTION));
    }
    return MODULE_STATUS_UNKNOWN_EXCEPTION;
}

template <typename Body>
ModuleStatus guardTableCall(Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return MODULE_STATUS_UNKNOWN_EXCEPTION;
    }
}

} // namespace Tessel
