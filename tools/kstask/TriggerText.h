// A stored task's trigger in a few words for the task list: "every 3600 s", "weekly Mon,Fri 03:30",
// "daily 03:30", "logon every 3", "boot", "once".
#pragma once

#include "insight/TaskPicture.h"

#include <string>

namespace KsTaskTool {

std::wstring triggerText(const KsInsight::TaskPicture& picture);

} // namespace KsTaskTool
