// Run previews: computeNextRun chained as the engine chains it after each run, and each run's
// note read back from the wall clock through the calendar's own local-time conversion.
#include "store/CalendarPreview.h"

#include "store/CalendarDate.h"
#include "store/CalendarLocalTime.h"

#include <algorithm>

namespace KsCalendar {

namespace {
constexpr int64_t kSecondsPerDay = 86400;

int64_t wallClockAt(int64_t utc) {
    const LocalTime local = toLocalTime(utc);
    return local.days * kSecondsPerDay + local.secondOfDay;
}

// A run its spread delay moved says so; the daylight-saving notes speak of runs on their slot.
// Notes are read back from the wall clock the run shows. A run off its slot is shifted when the
// last reading of the slot before that wall clock (a gap is shorter than a day) converts to it,
// that is when the reading fell in a gap; a stored run moved off its slot is not. A run on its
// slot is in a repeated hour when the clock, going back before this time tomorrow, shows it again.
std::wstring_view noteOf(const CalendarRule& rule, int64_t run) {
    if (rule.spreadOffset != 0) {
        const std::optional<uint32_t> slot = slotOfRun(rule, static_cast<uint32_t>(run));
        if (slot && *slot != run)
            return kSpreadRun;
    }
    const int64_t slot = static_cast<int64_t>(rule.hour) * 3600 + static_cast<int64_t>(rule.minute) * 60;
    const int64_t wall = wallClockAt(run);
    const int64_t slotDay = floorDiv(wall - slot, kSecondsPerDay);
    if (slotDay * kSecondsPerDay + slot != wall)
        return toUtc(slotDay, slot) == run ? kShiftedRun : kPlainRun;
    const int64_t tomorrow = run + kSecondsPerDay;
    const int64_t wentBack = (wall - run) - (wallClockAt(tomorrow) - tomorrow);
    return wentBack > 0 && wallClockAt(run + wentBack) == wall ? kRepeatedHourRun : kPlainRun;
}

template <class NextAfter, class NoteOf>
std::vector<PreviewRun> chainRuns(uint32_t first, uint32_t now, unsigned count, NextAfter nextAfter, NoteOf note) {
    std::vector<PreviewRun> runs;
    count = std::min(count, kMaxPreviewRuns);
    runs.reserve(count);
    uint32_t previous = now;
    for (uint32_t run = first; runs.size() < count && run > previous; run = nextAfter(run)) {
        runs.push_back({run, note(run)});
        previous = run;
    }
    return runs;
}
} // namespace

std::vector<PreviewRun> previewCalendarRuns(const CalendarRule& rule, uint32_t storedNextRun, uint32_t now,
                                            unsigned count) {
    const uint32_t first = storedNextRun > now ? storedNextRun : computeNextRun(rule, storedNextRun, 0, now);
    // After a run the engine computes from its stored run at the moment it runs, base 0 (now).
    const auto nextAfter = [&rule](uint32_t run) { return computeNextRun(rule, run, 0, run); };
    return chainRuns(first, now, count, nextAfter, [&rule](uint32_t run) { return noteOf(rule, run); });
}

std::vector<PreviewRun> previewPeriodicRuns(uint32_t periodSeconds, uint32_t storedNextRun, uint32_t now,
                                            unsigned count) {
    const uint32_t first = storedNextRun > now ? storedNextRun : now + periodSeconds;
    const auto nextAfter = [periodSeconds](uint32_t run) { return run + periodSeconds; };
    return chainRuns(first, now, count, nextAfter, [](uint32_t) { return kPlainRun; });
}

} // namespace KsCalendar
