// CKsTask's next run by its calendar rule: from the stored run, and after a run at a given moment.
#include "store/KsTask.h"

#include "common/Clock.h"
#include "store/CalendarRule.h"

namespace {

KsCalendar::CalendarRule calendarRuleOf(const KSTASKINFO& task)
{
    return {task.dwDayOfWeekMask, task.dwInterval, task.dwHour, task.dwMinute};
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
