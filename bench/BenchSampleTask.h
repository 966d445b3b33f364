// The program the execution and engine bench groups launch (tools/sample-task, built beside the
// bench), and the installer's steps a launch of it needs on the current scratch hive.
#pragma once

#include <string>

namespace ksbench {

// sample-task.exe in the bench's own folder.
std::wstring sampleTaskPath();

// Lists `program` as trusted and names the bench's folder, which holds the bus library, as the
// suite's install folder, so launches pass the trust check and can publish their reports.
void prepareLaunches(const std::wstring& program);

} // namespace ksbench
