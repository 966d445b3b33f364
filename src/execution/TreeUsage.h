// TreeMeter: what a program's whole tree used, read from the job that holds it: user plus kernel
// time and the peak of its committed memory.
//
// Where the system keeps the job's accounting, the figures are the job's own. Where it keeps none
// (Wine counts a job's processes but neither their time nor their memory), the meter reads the
// job's live processes at each tick instead: the last reading of each process, taken before it is
// gone, and the largest memory seen; a process that starts and ends between two ticks is missed,
// so there the figures are a lower bound. Such a system applies none of the job's limits either,
// so the tick also brings a background program's new processes down to the background priorities.
// What was never read stays unknown: no figure is made up.
//
// Used by the launch on the engine thread only.
#pragma once

#include "common/WinInclude.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace KsExecution {

struct TreeUsage {
    std::optional<uint64_t> cpuMs;
    std::optional<uint64_t> peakMemoryBytes;
};

class TreeMeter {
public:
    // How often a waiting launch ticks, where ticks are wanted.
    static constexpr DWORD kTickMs = 50;

    // Starts watching the job (lent; null: nothing will be known) that was just given its program.
    void watch(HANDLE job, bool background);
    // Whether the waiting launch should call tick() every kTickMs.
    bool wantsTicks() const { return m_job != nullptr && !m_jobCounts; }
    void tick();
    TreeUsage usage() const;

private:
    // Takes the process into the tree when its parent is there and it is in the job; true then.
    bool adopt(DWORD id, DWORD parent);

    HANDLE m_job = nullptr;
    bool m_background = false;
    bool m_jobCounts = false;  // the system keeps the job's own accounting
    std::unordered_map<DWORD, uint64_t> m_cpuMsByProcess;  // the last reading of each process
    std::unordered_set<DWORD> m_tree;     // the job's processes found so far
    std::unordered_set<DWORD> m_checked;  // children of the tree looked at, in the job or not
    std::optional<uint64_t> m_peakBytes;
    std::vector<unsigned char> m_snapshot;  // kept between ticks, so a tick seldom allocates
};

// WaitForMultipleObjects (any one) for up to limitMs, ticking the meter at its pace meanwhile
// where it wants that.
DWORD waitMetering(TreeMeter& meter, DWORD count, const HANDLE* handles, DWORD limitMs);

} // namespace KsExecution
