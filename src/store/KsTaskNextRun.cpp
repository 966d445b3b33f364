// CKsTask's next run by its calendar rule on this machine (its spread delay included): from the
// stored run, and after a run at a given moment.
#include "store/KsTask.h"

#include "common/Clock.h"
#include "store/CalendarRule.h"
#include "store/RunSpread.h"

namespace {

KsCalendar::CalendarRule calendarRuleOf(const CKsTask& task)
{
    return KsSpread::spreadRule({task.dwDayOfWeekMask, task.dwInterval, task.dwHour, task.dwMinute}, task.name(),
                                task.dwSpread);
}

} // namespace

bool CKsTask::ComputeNextRun(uint32_t base)
{
    dwNextRun = KsCalendar::computeNextRun(calendarRuleOf(*this), dwNextRun, base, Keelwork::Clock::current().now());
    return true;
}

void CKsTask::computeNextRunAfter(uint32_t moment)
{
    dwNextRun = KsCalendar::nextRunAfter(calendarRuleOf(*this), moment, dwNextRun);
}
