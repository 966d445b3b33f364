// The pump's idle and full-screen holds.
#include "engine/PumpPolicy.h"

#include "common/Clock.h"
#include "logging/LogAs.h"

namespace Keelwork::engine {

// The function the log contract gives these lines, whichever helper writes them.
constexpr const char* kPump = "CKsTaskScheduler::_TaskExecutionPump";

std::optional<PumpHold> PumpPolicy::holdForIdle(const std::wstring& head, const std::function<bool()>& waitsForIdle,
                                                uint32_t now)
{
    KSLOG_NORMAL_AS(kPump,
                    L"There is an item waiting to be executed in the Q. First checking if machine is in idle mode");
    if (m_probes.idle()) {
        KSLOG_NORMAL_AS(kPump, L"User is in idle mode ");
        m_bIdlePhaseDone = 1;
    }
    if (m_idleWaitStart == 0) {
        KSLOG_NORMAL_AS(kPump, L"Idle mode detection has just started. ");
        m_idleWaitStart = now;
    }
    // A clock set back since the wait began counts as no time waited: the hold stays, rather than
    // ending at once as if the limit had been reached.
    const uint64_t waited = elapsedSince(m_idleWaitStart, now);
    KSLOG_NORMAL_AS(kPump, L"We have been waiting for a total of %lld seconds for idle mode to end. ",
                    static_cast<long long>(waited));
    if (waited >= m_settings.idleModeTimeout || m_bIdlePhaseDone) {
        m_bIdlePhaseDone = 1;
        KSLOG_NORMAL_AS(kPump, L"We have moved beyond idle mode detection and will go to fullscreen detection");
        return std::nullopt;
    }
    if (!waitsForIdle())
        return std::nullopt;
    KSLOG_INFO_AS(kPump, L"Task has been Deferred Name: %s Reason: Idle WaitTimeout: %d s", head.c_str(),
                  m_settings.idleModePoll);
    const auto since = static_cast<uint32_t>(m_idleWaitStart);
    return PumpHold{{HoldReason::idle, since, since + m_settings.idleModeTimeout},
                    static_cast<uint32_t>(now + m_settings.idleModePoll)};
}

std::optional<PumpHold> PumpPolicy::holdForFullScreen(const std::wstring& head, bool amMode, uint32_t now)
{
    KSLOG_NORMAL_AS(kPump,
                    L"There is an item waiting to be executed in the Q. First checking if user is running a fullscreen "
                    L"application");
    if (amMode || m_bFullScreenTimedOut) {
        KSLOG_NORMAL_AS(kPump,
                        L"The current fullscreen mode wait has timed out. We will execute all tasks in the Q until it "
                        L"becomes empty");
        return std::nullopt;
    }
    KSLOG_NORMAL_AS(kPump, L"We are still waiting within the current %d sec period for the fullscreen mode to end",
                    m_settings.fullScreenWait);
    if (!m_probes.fullScreen())
        return std::nullopt;
    KSLOG_INFO_AS(kPump, L"User is in fullscreen mode. Waiting for %u seconds before trying again",
                  m_settings.fullScreenPoll);
    if (m_fullScreenStart == 0) {
        KSLOG_NORMAL_AS(
            kPump, L"Fullscreen mode has just been detected. Noting down the current time as full screen start time");
        m_fullScreenStart = now;
    }
    // As for idle: a clock set back keeps the hold instead of ending it.
    const unsigned long long waited = elapsedSince(m_fullScreenStart, now);
    KSLOG_NORMAL_AS(kPump,
                    L"We have been waiting for a total of %llu seconds for fullscreen to end. Limit is %u seconds",
                    waited, m_settings.fullScreenWait);
    if (waited < m_settings.fullScreenWait) {
        KSLOG_INFO_AS(kPump, L"Task has been Deferred Name: %s Reason: Full-screen WaitTimeout: %d s", head.c_str(),
                      m_settings.fullScreenPoll);
        const auto since = static_cast<uint32_t>(m_fullScreenStart);
        return PumpHold{{HoldReason::fullScreen, since, since + m_settings.fullScreenWait},
                        static_cast<uint32_t>(now + m_settings.fullScreenPoll)};
    }
    KSLOG_NORMAL_AS(kPump, L"We have waited for fullscreen app to end long enough. Launching all the tasks in the Q");
    m_bFullScreenTimedOut = 1;
    return std::nullopt;
}

void PumpPolicy::taskRuns(bool waitedForIdle)
{
    m_fullScreenStart = 0;
    if (waitedForIdle)
        m_idleWaitStart = 0;
}

void PumpPolicy::batchEnds()
{
    m_bFullScreenTimedOut = 0;
    m_bIdlePhaseDone = 0;
}

} // namespace Keelwork::engine
