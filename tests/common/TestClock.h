// A clock the test sets, in force for the code under test while it lives. Other threads (the
// engine's) may read it while the test moves it.
#pragma once

#include "common/Clock.h"

#include <atomic>

namespace kstest {

class TestClock final : public Keelwork::Clock {
public:
    explicit TestClock(uint32_t start = 1800000000) : value(start) { Keelwork::Clock::install(this); }
    ~TestClock() override { Keelwork::Clock::install(nullptr); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    uint32_t now() const override { return value; }
    std::atomic<uint32_t> value;
};

} // namespace kstest
