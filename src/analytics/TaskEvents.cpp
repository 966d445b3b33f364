// Sending the task-execution analytics events in their fixed chain.
#include "analytics/TaskEvents.h"

#include "analytics/AnalyticsNames.h"
#include "analytics/Event.h"

namespace Tessel::Analytics {

void sendTaskSchedulerEvent(const std::wstring& eventName, const std::wstring& action, const std::wstring& label,
                            const std::wstring& hitResult, const std::wstring& hitLabel1,
                            const std::wstring& hitLabel2)
{
    v2::CEvent(eventName.c_str())
        .Category(std::wstring(names::kCategoryOrbis))
        .Add(names::kSubCategory, names::kSubCategoryTaskScheduler)
        .Action(action)
        .Label(label)
        .Add(names::kHitResult, hitResult.c_str())
        .Add(names::kHitLabel1, hitLabel1.c_str())
        .Add(names::kHitLabel2, hitLabel2.c_str())
        .Send();
}

} // namespace Tessel::Analytics
