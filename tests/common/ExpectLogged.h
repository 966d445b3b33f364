// Checks that a line with the given level and text was logged since a LogCapture began. Test
// programs log every level (see TestEnvironment), so a missing line is always a failure.
#pragma once

#include "LogFileReader.h"
#include "logging/internal_logging.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace kstest {

// True when one captured line carries the level's header ("-- (Error)$") and the fragment.
bool loggedAt(const LogCapture& capture, uint32_t level, const std::wstring& fragment);

} // namespace kstest

#define EXPECT_LOGGED(capture, level, fragment)                                                        \
    EXPECT_TRUE(::kstest::loggedAt((capture), (level), (fragment)))                                  \
        << "missing line at level " << (level) << "; captured:\n"                                      \
        << ::kstest::narrowForReport((capture).text())
