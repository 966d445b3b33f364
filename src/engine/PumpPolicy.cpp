// The pump's idle and full-screen holds.
#include "engine/PumpPolicy.h"

#include "common/Clock.h"
#include "common/SrwLock.h"
#include "logging/LogAs.h"

namespace Keelwork::engine {

// The function the log contract gives these lines, whichever helper writes them.
constexpr const char* kPump = "CKsTaskScheduler::_TaskExecutionPump";

PumpHoldState PumpHoldState::afterRun(bool waitedForIdle) const
{
    PumpHoldState next = *this;
    next.fullScreenStart = 0;
    if (waitedForIdle)
        next.idleWaitStart = 0;
    return next;
}

PumpHoldState PumpHoldState::afterBatch() const
{
    PumpHoldState next = *this;
    next.fullScreenTimedOut = false;
    next.idlePhaseDone = false;
    return next;
}

std::optional<PumpHold> PumpPolicy::holdForIdle(PumpHoldState& state, const std::wstring& head,
                                                const std::function<bool()>& waitsForIdle, uint32_t now) const
{
    if (m_tell)
        KSLOG_NORMAL_AS(kPump, L"There is an item waiting to be executed in the Q. First checking if machine is in idle mode");
    if (m_probes.idle()) {
        if (m_tell)
            KSLOG_NORMAL_AS(kPump, L"User is in idle mode ");
        state.idlePhaseDone = true;
    }
    if (state.idleWaitStart == 0) {
        if (m_tell)
            KSLOG_NORMAL_AS(kPump, L"Idle mode detection has just started. ");
        state.idleWaitStart = now;
    }
    // A clock set back since the wait began counts as no time waited: the hold stays, rather than
    // ending at once as if the limit had been reached.
    const uint64_t waited = elapsedSince(state.idleWaitStart, now);
    if (m_tell)
        KSLOG_NORMAL_AS(kPump, L"We have been waiting for a total of %lld seconds for idle mode to end. ",
                     static_cast<long long>(waited));
    if (waited >= m_settings.idleModeTimeout || state.idlePhaseDone) {
        state.idlePhaseDone = true;
        if (m_tell)
            KSLOG_NORMAL_AS(kPump, L"We have moved beyond idle mode detection and will go to fullscreen detection");
        return std::nullopt;
    }
    if (!waitsForIdle())
        return std::nullopt;
    if (m_tell)
        KSLOG_INFO_AS(kPump, L"Task has been Deferred Name: %s Reason: Idle WaitTimeout: %d s", head.c_str(),
                   m_settings.idleModePoll);
    const auto since = static_cast<uint32_t>(state.idleWaitStart);
    return PumpHold{{HoldReason::idle, since, since + m_settings.idleModeTimeout},
                    static_cast<uint32_t>(now + m_settings.idleModePoll)};
}

std::optional<PumpHold> PumpPolicy::holdForFullScreen(PumpHoldState& state, const std::wstring& head, bool amMode,
                                                      uint32_t now) const
{
    if (m_tell)
        KSLOG_NORMAL_AS(kPump, L"There is an item waiting to be executed in the Q. First checking if user is running a "
                     L"fullscreen application");
    if (amMode || state.fullScreenTimedOut) {
        if (m_tell)
            KSLOG_NORMAL_AS(kPump, L"The current fullscreen mode wait has timed out. We will execute all tasks in the Q until "
                         L"it becomes empty");
        return std::nullopt;
    }
    if (m_tell)
        KSLOG_NORMAL_AS(kPump, L"We are still waiting within the current %d sec period for the fullscreen mode to end",
                     m_settings.fullScreenWait);
    if (!m_probes.fullScreen())
        return std::nullopt;
    if (m_tell)
        KSLOG_INFO_AS(kPump, L"User is in fullscreen mode. Waiting for %u seconds before trying again",
                   m_settings.fullScreenPoll);
    if (state.fullScreenStart == 0) {
        if (m_tell)
            KSLOG_NORMAL_AS(kPump, L"Fullscreen mode has just been detected. Noting down the current time as full screen "
                         L"start time");
        state.fullScreenStart = now;
    }
    // As for idle: a clock set back keeps the hold instead of ending it.
    const unsigned long long waited = elapsedSince(state.fullScreenStart, now);
    if (m_tell)
        KSLOG_NORMAL_AS(kPump, L"We have been waiting for a total of %llu seconds for fullscreen to end. Limit is %u seconds",
                     waited, m_settings.fullScreenWait);
    if (waited < m_settings.fullScreenWait) {
        if (m_tell)
            KSLOG_INFO_AS(kPump, L"Task has been Deferred Name: %s Reason: Full-screen WaitTimeout: %d s", head.c_str(),
                       m_settings.fullScreenPoll);
        const auto since = static_cast<uint32_t>(state.fullScreenStart);
        return PumpHold{{HoldReason::fullScreen, since, since + m_settings.fullScreenWait},
                        static_cast<uint32_t>(now + m_settings.fullScreenPoll)};
    }
    if (m_tell)
        KSLOG_NORMAL_AS(kPump, L"We have waited for fullscreen app to end long enough. Launching all the tasks in the Q");
    state.fullScreenTimedOut = true;
    return std::nullopt;
}

PumpHoldState PublishedPumpState::read() const
{
    SrwShared hold(m_lock);
    return m_state;
}

void PublishedPumpState::write(const PumpHoldState& state)
{
    SrwExclusive hold(m_lock);
    m_state = state;
}

} // namespace Keelwork::engine
