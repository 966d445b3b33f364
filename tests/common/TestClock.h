// A clock the test sets, in force for the code under test while it lives.
#pragma once

#include "common/Clock.h"

namespace kstest {

class TestClock final : public Keelwork::Clock {
public:
    explicit TestClock(uint32_t start = 0) : value(start) { Keelwork::Clock::install(this); }
    ~TestClock() override { Keelwork::Clock::install(nullptr); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    uint32_t now() const override { return value; }
    uint32_t value;
};

} // namespace kstest
