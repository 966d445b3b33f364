// The next runs of a timed task as the engine will take them, for a preview: the first is the
// task's next run, each later one what the engine writes after running at the one before, with a
// note where a daylight-saving change bears on the run's wall-clock slot or the spread moved it.
#pragma once

#include "store/CalendarRule.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace KsCalendar {

inline constexpr unsigned kMaxPreviewRuns = 100;

// The notes beside a run.
inline constexpr std::wstring_view kPlainRun = L"";
// The slot's wall-clock reading did not exist that night; the run is at the later instant.
inline constexpr std::wstring_view kShiftedRun = L"shifted";
// The slot lies in an hour the clock repeats; the run happens once, at its first occurrence.
inline constexpr std::wstring_view kRepeatedHourRun = L"repeated hour";
// The run is later than its slot by the task's spread delay on this machine.
inline constexpr std::wstring_view kSpreadRun = L"spread";

struct PreviewRun {
    uint32_t time;          // seconds since 1970, UTC
    std::wstring_view note; // one of the notes above
};

// Up to `count` runs (at most kMaxPreviewRuns; 0 gives none). The first is storedNextRun when it
// lies after `now` (0 = none stored), else the run computed from `now` as the engine computes it:
// the one the store writes when the task is created, or the one written when an overdue task runs
// (that catch-up run itself, due at once, is not listed). The list ends early at a run that would
// not come after the one before it (after `now`, for the first): a calendar without days, a period
// of 0, or a time past 2106 that wrapped.
std::vector<PreviewRun> previewCalendarRuns(const CalendarRule& rule, uint32_t storedNextRun, uint32_t now,
                                            unsigned count);
// A periodic task runs again periodSeconds after each run; its runs carry no note.
std::vector<PreviewRun> previewPeriodicRuns(uint32_t periodSeconds, uint32_t storedNextRun, uint32_t now,
                                            unsigned count);

} // namespace KsCalendar
