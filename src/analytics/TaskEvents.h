// The analytics events task execution sends (category "Orbis", sub-category "TaskScheduler").
#pragma once

#include <string>

namespace Tessel::Analytics {

// Sends one task-execution event: the name, action, label and the three hit dimensions.
void sendTaskSchedulerEvent(const std::wstring& eventName, const std::wstring& action, const std::wstring& label,
                            const std::wstring& hitResult, const std::wstring& hitLabel1,
                            const std::wstring& hitLabel2);

} // namespace Tessel::Analytics
