// The engine's timers: the waitable timer armed for the next due task (or a poll, or a week
// in connected standby) and the start-delay window timer.
#include "engine/EngineSteps.h"

#include "common/Clock.h"
#include "common/TimeText.h"
#include "engine/EngineNames.h"
#include "engine/TaskManager.h"
#include "logging/LogAs.h"

#include <algorithm>

namespace Keelwork::engine {
namespace {

constexpr int64_t kUnitsPerSecond = 10000000;  // the waitable timer counts 100 ns

// How far the system clock is into its current second, in 100-nanosecond units.
int64_t subSecondUnits()
{
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER units;
    units.LowPart = now.dwLowDateTime;
    units.HighPart = now.dwHighDateTime;
    return static_cast<int64_t>(units.QuadPart % kUnitsPerSecond);
}

void logTimerFailure()
{
    KSLOG_CRITICAL(L"CRITICAL ERROR. Could not set waitable timer. Task scheduler cannot get triggered. Error: %d",
                   ::GetLastError());
}

} // namespace

void EngineSteps::_SetTimer(DWORD seconds)
{
    m_parts.m_readAhead.cancel();  // the timer no longer aims at a task's due time
    if (m_parts.m_loop.armIn(static_cast<int64_t>(seconds) * kUnitsPerSecond))
        KSLOG_NORMAL_AS("CKsTaskScheduler::_SetTimer", L"Successfully set waitable timer. Seconds:%d", seconds);
    else
        logTimerFailure();
}

void EngineSteps::_SetTaskWaitableTimer(uint32_t hint)
{
    SetAMMode(false);
    OutOfBox::expire(*m_parts.m_pTaskManager);
    uint32_t target = m_parts.m_pTaskManager->FindMinNextRunTime();
    if (hint != 0) {
        KSLOG_NORMAL_AS("CKsTaskScheduler::_SetTaskWaitableTimer",
                        L"Next run time passed in to SetWaitableTimer. we may use next run value: %u", hint);
        target = std::min(target, hint);
    }
    const uint32_t now = Clock::current().now();
    KSLOG_NORMAL_AS("CKsTaskScheduler::_SetTaskWaitableTimer", L"Current Time: %s", localTimeText(now).c_str());
    KSLOG_NORMAL_AS("CKsTaskScheduler::_SetTaskWaitableTimer", L"Earliest Next-Run time: %s",
                    localTimeText(target).c_str());
    unsigned long long seconds = 0;
    bool armed = false;
    if (now < target) {
        seconds = target - now;
        KSLOG_NORMAL_AS("CKsTaskScheduler::_SetTaskWaitableTimer", L"No task current. First one due after %llu seconds",
                        seconds);
        // "now" counts whole seconds: without the part of this second already gone, the timer
        // would fire up to a second after the due time.
        const int64_t units = static_cast<int64_t>(seconds) * kUnitsPerSecond - subSecondUnits();
        armed = m_parts.m_loop.armIn(units);
        if (armed)
            m_parts.m_readAhead.plan(target, units, m_parts.m_loop);
    } else {
        KSLOG_NORMAL_AS("CKsTaskScheduler::_SetTaskWaitableTimer",
                        L"Some task is already current. Waitable timer will be due immediately");
        armed = m_parts.m_loop.armIn(1);
    }
    if (!armed)
        logTimerFailure();
    else
        KSLOG_INFO_AS("CKsTaskScheduler::_SetTaskWaitableTimer", L"Successfully set waitable timer for %llu seconds",
                      seconds);
}

void EngineSteps::InitialKickStart(bool bOobe)
{
    const uint32_t delayMs = bOobe ? m_parts.m_outOfBox.startDelayMs() : m_parts.m_gate.startDelayMs();
    KSLOG_NORMAL_AS("CKsTaskScheduler::InitialKickStart",
                    L"Setting a timer of %u milli-seconds. The scheduler will kick off after this time", delayMs);
    ::SetTimer(m_parts.m_window.get(), kStartDelayTimer, delayMs, nullptr);
    EngineReason reason = EngineReason::none;
    if (bOobe)
        reason = EngineReason::outOfBoxWait;
    else if (m_parts.m_gate.installing())
        reason = EngineReason::installing;
    move({EngineEvent::startDelayBegins, 0, reason, Clock::current().now() + (delayMs + 999) / 1000});
}

} // namespace Keelwork::engine
