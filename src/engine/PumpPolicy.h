// The execution pump's holds: how long the head task of the queue waits for an idle user and for a
// full-screen application to end, each within its limit. A hold makes the pump look again after
// the poll; a task that ran, or a batch that ended, starts the clocks afresh.
//
// The holds are steps over a state value (PumpHoldState) that the engine keeps between pump steps
// (PublishedPumpState): a task held across several timer hits accumulates one wait, and a new
// engine starts without one. The steps write their log lines only when told to: the pump tells,
// a question asked from another thread ("what if it were due now") does not.
//
// Threading: PumpPolicy on whichever thread decides; PublishedPumpState is written by the engine
// thread and read by any.
#pragma once

#include "state/EngineState.h"
#include "engine/SchedulerSettings.h"

#include "common/WinInclude.h"

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

// The holds' clocks and the batch's flags.
struct PumpHoldState {
    uint64_t idleWaitStart = 0;    // seconds since 1970; 0 = not waiting
    uint64_t fullScreenStart = 0;  // seconds since 1970; 0 = not seen
    bool idlePhaseDone = false;    // the batch's idle wait is over
    bool fullScreenTimedOut = false;  // the batch outwaited the full-screen limit
    friend bool operator==(const PumpHoldState&, const PumpHoldState&) = default;

    // The head task runs now: the full-screen clock restarts, and the idle clock when the task
    // wanted an idle user.
    PumpHoldState afterRun(bool waitedForIdle) const;
    // The queue ran dry: the next batch is held afresh.
    PumpHoldState afterBatch() const;
};

// A hold of the head task: why, since when, at the latest until when, and when to look again.
struct PumpHold {
    TaskHold hold;
    uint32_t lookAgainAt = 0;
};

class PumpPolicy {
public:
    // Both must outlive the policy. `tell`: write the pump's log lines.
    PumpPolicy(const SchedulerSettings& settings, PumpProbes& probes, bool tell)
        : m_settings(settings), m_probes(probes), m_tell(tell) {}

    // The idle phase for `head`, entered only outside an AM run and while the batch's idle phase
    // is not over: a hold, or none when the task may go on to the full-screen phase.
    // `waitsForIdle` answers, each time it is asked, whether the head task wants an idle user.
    std::optional<PumpHold> holdForIdle(PumpHoldState& state, const std::wstring& head,
                                        const std::function<bool()>& waitsForIdle, uint32_t now) const;

    // The full-screen phase; in an AM run nothing is held.
    std::optional<PumpHold> holdForFullScreen(PumpHoldState& state, const std::wstring& head, bool amMode,
                                              uint32_t now) const;

private:
    const SchedulerSettings& m_settings;
    PumpProbes& m_probes;
    bool m_tell;
};

// The engine's pump state between its steps, with a copy any thread may take.
class PublishedPumpState {
public:
    PumpHoldState read() const;
    // Engine thread only.
    void write(const PumpHoldState& state);

private:
    mutable SRWLOCK m_lock = SRWLOCK_INIT;
    PumpHoldState m_state;  // written under m_lock
};

} // namespace Keelwork::engine
