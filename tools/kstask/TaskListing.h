// The task list: one row per stored task with its trigger, next run, verdict and last result,
// ordered by next run (tasks without one last, then by name).
#pragma once

#include "insight/StateSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace KsTaskTool {

struct ListRow {
    std::wstring name;
    std::wstring trigger;
    uint32_t nextRun = 0;  // 0: none (occasion, one-time and disabled tasks, or not yet scheduled)
    std::wstring verdict;
    std::wstring lastResult;
};

// ERROR_SUCCESS, or the registry's error when a parent key, a task's key or its history may not be
// read (a missing parent holds no task). `all` takes the disabled tasks too.
long collectTaskRows(const KsInsight::StateSource& source, bool all, uint32_t now, std::vector<ListRow>& rows);

// A header line and aligned columns.
std::wstring listText(const std::vector<ListRow>& rows);
// An array of one object per row, members as the columns: "name", "trigger", "nextRun" (0: none)
// and "nextRunLocal" beside a time, "verdict", "lastResult".
std::wstring listJson(const std::vector<ListRow>& rows);

} // namespace KsTaskTool
