// The calendar rule of a custom or preset task: from a base time, the next local (week day,
// hour, minute) slot that the rule allows, as unsigned 32-bit seconds since 1970 UTC.
#pragma once

#include <cstdint>
#include <optional>

namespace KsCalendar {

// dwInterval values.
enum class Interval : uint32_t { none = 0, weekly = 1, biweekly = 2, firstInMonth = 3, lastInMonth = 4 };

struct CalendarRule {
    uint32_t dayOfWeekMask; // bit d: may run on week day d, 0 = Sunday
    uint32_t interval;      // an Interval value; anything else runs daily
    uint32_t hour;          // local wall-clock hour 0-23
    uint32_t minute;        // local wall-clock minute 0-59
    // The spread delay of this task on this machine (RunSpread.h): every run is this much later
    // than its slot, but always at least a minute before the rule's next slot.
    uint32_t spreadOffset = 0;
};

// Next run by the calendar rule: the slot the rule gives, moved by the spread delay.
// previousNextRun is dwNextRun on entry (0 = never scheduled); base 0 means `now`. Returns
// previousNextRun unchanged when the mask is 0.
// Local wall-clock slots across daylight-saving changes: a slot inside a skipped hour runs at
// the instant the wall clock would show had the clock not jumped (02:30 becomes 03:30 on a
// spring-forward night); a slot inside a repeated hour runs once, at its first occurrence.
uint32_t computeNextRun(const CalendarRule& rule, uint32_t previousNextRun, uint32_t base, uint32_t now);

// The first slot after `moment`, even one before previousNextRun (which still sets the biweekly
// rule's weeks): the schedule a run at that moment leaves, as a run asked for out of turn needs.
uint32_t nextRunAfter(const CalendarRule& rule, uint32_t moment, uint32_t previousNextRun);

// The delay the spread gives the run of `slot` (a slot of the rule): the rule's delay, cut to
// end a minute before the next slot, so a run never passes the next occurrence of the rule.
uint32_t spreadDelayAt(const CalendarRule& rule, uint32_t slot);

// The slot whose moved run is `run`, or nullopt when `run` is no run of the rule (a run moved by
// a deferral, or a stored run from before a change of the rule).
std::optional<uint32_t> slotOfRun(const CalendarRule& rule, uint32_t run);

} // namespace KsCalendar
