// The one clock the store and the engine ask for "now", so tests can drive calendars and due
// rules without sleeping. Times are unsigned 32-bit seconds since 1970-01-01 UTC.
#pragma once

#include <cstdint>
#include <ctime>

namespace Keelwork {

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t now() const = 0;

    // The clock in force: the system clock unless a test installed another.
    static const Clock& current();
    // Installs `clock` (not owned) as the current one; null restores the system clock.
    static void install(const Clock* clock);
};

// Seconds from `since` to `now`. A wall clock set back in between (a factory machine's first time
// sync, a user's correction) counts as no time passed, never as a wrapped, enormous span.
constexpr uint64_t elapsedSince(uint64_t since, uint64_t now)
{
    return now > since ? now - since : 0;
}

// The system clock, truncated to 32 bits (valid until 2106).
class SystemClock final : public Clock {
public:
    uint32_t now() const override { return static_cast<uint32_t>(std::time(nullptr)); }
};

} // namespace Keelwork
