// Checks that a line was logged, for levels the process logs at all: the logger's threshold
// decides which levels reach the file, and a level below it leaves nothing to check.
#pragma once

#include "LogFileReader.h"
#include "logging/internal_logging.h"

#include <gtest/gtest.h>

#define EXPECT_LOGGED(capture, level, fragment)                                  \
    do {                                                                         \
        if (::ETWLogging::isLogEnabled(level)) {                                 \
            EXPECT_TRUE((capture).contains(fragment)) << (capture).text();       \
        }                                                                        \
    } while (0)
