// The calendar rule: find the first candidate day after the base, move it to a day the interval
// allows, and place the run at the rule's local hour and minute on that day.
#include "store/CalendarRule.h"

#include "store/CalendarDate.h"
#include "store/CalendarLocalTime.h"

#include <algorithm>

namespace KsCalendar {

namespace {
constexpr uint32_t kWeekDayBits = 0x7F; // bits above Saturday name no week day
constexpr int64_t kNoDay = 7;

bool allows(uint32_t mask, unsigned weekDay) { return (mask >> (weekDay % 7)) & 1; }

// Days from a day of week `weekDay` to the first allowed week day, 0-6; 7 when none is allowed.
int64_t daysToAllowed(uint32_t mask, unsigned weekDay) {
    for (int64_t d = 0; d < 7; ++d)
        if (allows(mask, static_cast<unsigned>(weekDay + d)))
            return d;
    return kNoDay;
}

// The first allowed week day at or after `from` within the same Sunday-based week; 7 when none.
int64_t firstAllowedFrom(uint32_t mask, unsigned from) {
    for (unsigned b = from; b < 7; ++b)
        if (allows(mask, b))
            return b;
    return kNoDay;
}

int64_t slotInstant(const CalendarRule& rule, int64_t day) {
    return toUtc(day, static_cast<int64_t>(rule.hour) * 3600 + static_cast<int64_t>(rule.minute) * 60);
}

// Today if today's slot lies after the base, else tomorrow. Comparing instants rather than
// hour and minute keeps a slot in a repeated hour from running twice and lets a slot moved past
// a skipped hour still run that day.
int64_t firstCandidateDay(const CalendarRule& rule, int64_t base) {
    const int64_t today = toLocalTime(base).days;
    return slotInstant(rule, today) <= base ? today + 1 : today;
}

int64_t weeklyDay(uint32_t mask, int64_t day) { return day + daysToAllowed(mask, weekDayOf(day)); }

// Runs fall in every other Sunday-based week, counted from the week of the previous run. Whole
// days between dates, not seconds between midnights, so an hour lost to daylight saving cannot
// shift the count.
int64_t biweeklyDay(uint32_t mask, int64_t day, uint32_t previousNextRun) {
    const unsigned w = weekDayOf(day);
    bool runWeek = (mask >> w) != 0;
    if (previousNextRun != 0) {
        const int64_t previousDay = toLocalTime(previousNextRun).days;
        const int64_t previousSunday = previousDay - weekDayOf(previousDay);
        const int64_t weekOffset = (day - previousSunday) % 14;
        runWeek = (weekOffset < 0 ? weekOffset + 14 : weekOffset) < 7;
    }
    if (runWeek && (mask >> w) != 0)
        return day + firstAllowedFrom(mask, w) - w;
    const int64_t weeksAhead = runWeek ? 14 : 7;
    return day + weeksAhead - w + firstAllowedFrom(mask, 0);
}

int64_t firstInMonthDay(uint32_t mask, int64_t day) {
    const unsigned m = civilFromDays(day).day;
    if (m <= 7) {
        const int64_t d = daysToAllowed(mask, weekDayOf(day));
        if (d <= 7 - static_cast<int64_t>(m))
            return day + d;
    }
    return weeklyDay(mask, firstOfNextMonth(day));
}

int64_t lastInMonthDay(uint32_t mask, int64_t day) {
    const CivilDate date = civilFromDays(day);
    const unsigned last = daysInMonth(date.year, date.month);
    if (date.day + 7 <= last) // the last seven days of this month are still ahead
        return weeklyDay(mask, daysFromCivil(date.year, date.month, last - 6));
    const int64_t d = daysToAllowed(mask, weekDayOf(day));
    if (d <= static_cast<int64_t>(last - date.day))
        return day + d;
    const int64_t nextFirst = firstOfNextMonth(day);
    const CivilDate next = civilFromDays(nextFirst);
    return weeklyDay(mask, nextFirst + daysInMonth(next.year, next.month) - 7);
}

int64_t runDay(const CalendarRule& rule, int64_t day, uint32_t previousNextRun) {
    const uint32_t mask = rule.dayOfWeekMask & kWeekDayBits;
    switch (static_cast<Interval>(rule.interval)) {
    case Interval::weekly: return weeklyDay(mask, day);
    case Interval::biweekly: return biweeklyDay(mask, day, previousNextRun);
    case Interval::firstInMonth: return firstInMonthDay(mask, day);
    case Interval::lastInMonth: return lastInMonthDay(mask, day);
    default: return day; // daily
    }
}

uint32_t slotAfter(const CalendarRule& rule, int64_t from, uint32_t previousNextRun) {
    const int64_t day = runDay(rule, firstCandidateDay(rule, from), previousNextRun);
    // A run beyond 2106 keeps its low 32 bits, as every stored time does.
    return static_cast<uint32_t>(static_cast<uint64_t>(slotInstant(rule, day)));
}

// No rule leaves more than five weeks between two slots; a delay is never longer.
constexpr int64_t kLongestGap = 40 * 86400;
constexpr int64_t kRoomBeforeNextSlot = 60;

uint32_t movedRun(const CalendarRule& rule, uint32_t slot) { return slot + spreadDelayAt(rule, slot); }

// The slot of the stored run sets the biweekly rule's weeks: a delay may carry the run past
// Saturday midnight into the next week.
uint32_t weeksAnchor(const CalendarRule& rule, uint32_t previousNextRun) {
    if (rule.spreadOffset == 0 || previousNextRun == 0 || rule.interval != static_cast<uint32_t>(Interval::biweekly))
        return previousNextRun;
    return slotOfRun(rule, previousNextRun).value_or(previousNextRun);
}

uint32_t movedRunAfter(const CalendarRule& rule, int64_t from, uint32_t previousNextRun) {
    return movedRun(rule, slotAfter(rule, from, weeksAnchor(rule, previousNextRun)));
}
} // namespace

uint32_t computeNextRun(const CalendarRule& rule, uint32_t previousNextRun, uint32_t base, uint32_t now) {
    if (rule.dayOfWeekMask == 0)
        return previousNextRun;
    int64_t from = base != 0 ? base : now;
    if (from < previousNextRun)
        from = static_cast<int64_t>(previousNextRun) + 1; // never at or before the stored run
    return movedRunAfter(rule, from, previousNextRun);
}

uint32_t nextRunAfter(const CalendarRule& rule, uint32_t moment, uint32_t previousNextRun) {
    return rule.dayOfWeekMask == 0 ? previousNextRun : movedRunAfter(rule, moment, previousNextRun);
}

uint32_t spreadDelayAt(const CalendarRule& rule, uint32_t slot) {
    if (rule.spreadOffset == 0 || rule.dayOfWeekMask == 0)
        return 0;
    // The slot itself names a run week of the biweekly rule.
    const int64_t room = static_cast<int64_t>(slotAfter(rule, slot, slot)) - slot - kRoomBeforeNextSlot;
    return room <= 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(rule.spreadOffset, room));
}

// The slots a delay may reach back to, oldest first; each is checked against the run. A biweekly
// slot is a slot of the weekly rule on the same days, whose weeks need no anchor.
std::optional<uint32_t> slotOfRun(const CalendarRule& rule, uint32_t run) {
    if (rule.dayOfWeekMask == 0)
        return std::nullopt;
    CalendarRule candidates = rule;
    if (rule.interval == static_cast<uint32_t>(Interval::biweekly))
        candidates.interval = static_cast<uint32_t>(Interval::weekly);
    const int64_t reach = std::min<int64_t>(rule.spreadOffset, kLongestGap);
    for (int64_t from = std::max<int64_t>(static_cast<int64_t>(run) - reach - 1, 0);;) {
        const uint32_t slot = slotAfter(candidates, from, 0);
        if (slot > run || slot <= from)
            return std::nullopt;
        if (movedRun(rule, slot) == run)
            return slot;
        from = slot;
    }
}

} // namespace KsCalendar
