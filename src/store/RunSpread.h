// The spread of a timed task's runs: a fixed delay in [0, spread) drawn from the machine's
// identity and the task's key name, so that a fleet running the same schedule does not start it
// in the same second, while each machine keeps the same delay on every run and restart.
//
// The machine's identity is a seam: the production one reads the machine's installation GUID
// once; tests and the fleet simulation install their own. Threading: any thread; install() is
// for a program's set-up, before the engine's threads ask.
#pragma once

#include "store/CalendarRule.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace KsSpread {

class MachineIdentity {
public:
    virtual ~MachineIdentity() = default;
    virtual std::wstring_view value() const = 0;

    // The identity in force: the machine's own unless another was installed.
    static const MachineIdentity& current();
    // Installs `identity` (not owned) as the current one; null restores the machine's own.
    static void install(const MachineIdentity* identity);

protected:
    MachineIdentity() = default;
    MachineIdentity(const MachineIdentity&) = delete;
    MachineIdentity& operator=(const MachineIdentity&) = delete;
};

// The machine's installation GUID from the registry's 64-bit view; empty when it has none (the
// machine's own identity then spreads runs by the task's name alone).
std::wstring readMachineGuid();

// A given identity, for tests and simulations.
class FixedMachineIdentity final : public MachineIdentity {
public:
    explicit FixedMachineIdentity(std::wstring value) : m_value(std::move(value)) {}
    std::wstring_view value() const override { return m_value; }

private:
    std::wstring m_value;
};

// The delay of the task's runs on that machine: uniform over [0, spreadSeconds) across
// identities, the same for the same inputs; 0 when spreadSeconds is 0. taskKey is the task's
// stored name (TaskIdentity::key), so every way of naming the task gives the same delay.
uint32_t runOffset(std::wstring_view machine, std::wstring_view taskKey, uint32_t spreadSeconds);
// The same on this machine (the current identity).
uint32_t runOffset(std::wstring_view taskKey, uint32_t spreadSeconds);

// The calendar rule a task runs by on this machine: its stored rule with its delay here. The
// engine's next runs, Preview and every other answer about a calendar task's runs start here.
KsCalendar::CalendarRule spreadRule(KsCalendar::CalendarRule rule, std::wstring_view taskKey, uint32_t spreadSeconds);

// A periodic task has no slots of its own: each run is a period after the one before. Its delay
// moves the first run it is created with, and every later run follows from that one, so each
// stays that much later than it would have been. Kept a minute short of the period; a first run of
// 0 (at once) stays 0.
uint32_t spreadFirstPeriodicRun(uint32_t firstRun, uint32_t periodSeconds, std::wstring_view taskKey,
                                uint32_t spreadSeconds);

} // namespace KsSpread
