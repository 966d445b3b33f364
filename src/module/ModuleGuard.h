// The catch-all frame of every boundary the module owns (table functions, message handlers):
// an exception that escapes the body becomes MODULE_STATUS_UNKNOWN_EXCEPTION.
#pragma once

#include "message/ModuleStatus.h"

namespace Tessel {

template <typename Body>
ModuleStatus guardStatus(Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return MODULE_STATUS_UNKNOWN_EXCEPTION;
    }
}

} // namespace Tessel
