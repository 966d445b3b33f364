// The execution pump's holds: how long the head task of the queue waits for an idle user and for a
// full-screen application to end, each within its limit. A hold makes the pump look again after
// the poll; a task that ran, or a batch that ended, starts the clocks afresh.
//
// The wait clocks belong to one engine: a task held across several timer hits accumulates one
// wait, and a new engine starts without one.
//
// Threading: the engine thread only.
#pragma once

#include "state/EngineState.h"
#include "engine/SchedulerSettings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace Keelwork::engine {

using KsState::EngineState;
using KsState::HoldReason;
using KsState::TaskHold;

// What the holds ask of the machine.
class PumpProbes {
public:
    virtual bool idle() = 0;
    virtual bool fullScreen() = 0;

protected:
    PumpProbes() = default;
    ~PumpProbes() = default;
    PumpProbes(const PumpProbes&) = delete;
    PumpProbes& operator=(const PumpProbes&) = delete;
};

// A hold of the head task: why, since when, at the latest until when, and when to look again.
struct PumpHold {
    TaskHold hold;
    uint32_t lookAgainAt = 0;
};

class PumpPolicy {
public:
    // Both must outlive the policy.
    PumpPolicy(const SchedulerSettings& settings, PumpProbes& probes) : m_settings(settings), m_probes(probes) {}

    // The idle phase for `head`, entered only outside an AM run and while the batch's idle phase
    // is not over: a hold, or none when the task may go on to the full-screen phase.
    // `waitsForIdle` answers, each time it is asked, whether the head task wants an idle user.
    std::optional<PumpHold> holdForIdle(const std::wstring& head, const std::function<bool()>& waitsForIdle,
                                        uint32_t now);
    bool idlePhaseDone() const { return m_bIdlePhaseDone != 0; }

    // The full-screen phase; in an AM run nothing is held.
    std::optional<PumpHold> holdForFullScreen(const std::wstring& head, bool amMode, uint32_t now);

    // The head task runs now: the full-screen clock restarts, and the idle clock when the task
    // wanted an idle user.
    void taskRuns(bool waitedForIdle);
    // The queue ran dry: the next batch is held afresh.
    void batchEnds();

private:
    const SchedulerSettings& m_settings;
    PumpProbes& m_probes;
    uint64_t m_idleWaitStart = 0;      // seconds since 1970; 0 = not waiting
    uint64_t m_fullScreenStart = 0;    // seconds since 1970; 0 = not seen
    uint32_t m_bIdlePhaseDone = 0;     // the batch's idle wait is over
    uint32_t m_bFullScreenTimedOut = 0;  // the batch outwaited the full-screen limit
};

} // namespace Keelwork::engine
