// The job a task's program runs in: made for each start, joined while the program is still
// suspended, so the program and every process it starts belong to it from their first instruction.
// A background program gets its lower priorities at the same moment.
#pragma once

#include "common/UniqueHandle.h"

namespace KsExecution {

// Puts the suspended process into a new job (with the background limits and priorities when
// `background` is set), then resumes its first thread. A job that cannot be made or joined, or a
// priority the system refuses, is logged at Warning and the program runs without it. Returns 0,
// or the resume's error: the process is then ended and `job` left empty.
DWORD runInJob(Keelwork::unique_process_information& started, bool background, Keelwork::unique_job& job);

// Lowers a process to the background class; what the system refuses is logged at Warning.
void lowerToBackground(HANDLE process);

} // namespace KsExecution
