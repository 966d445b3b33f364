// CKsTaskScheduler's timers: the waitable timer armed for the next due task (or a poll, or a week
// in connected standby) and the start-delay window timer.
#include "engine/TaskScheduler.h"

#include "common/Clock.h"
#include "common/TimeText.h"
#include "engine/EngineNames.h"
#include "engine/TaskManager.h"
#include "logging/internal_logging.h"

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

void CKsTaskScheduler::_SetTimer(DWORD seconds)
{
    if (m_loop.armIn(static_cast<int64_t>(seconds) * kUnitsPerSecond))
        KSLOG_NORMAL(L"Successfully set waitable timer. Seconds:%d", seconds);
    else
        logTimerFailure();
}

void CKsTaskScheduler::_SetTaskWaitableTimer(uint32_t hint)
{
    SetAMMode(false, nullptr, true);
    OutOfBox::expire(*m_pTaskManager);
    uint32_t target = m_pTaskManager->FindMinNextRunTime();
    if (hint != 0) {
        KSLOG_NORMAL(L"Next run time passed in to SetWaitableTimer. we may use next run value: %u", hint);
        target = std::min(target, hint);
    }
    const uint32_t now = Clock::current().now();
    KSLOG_NORMAL(L"Current Time: %s", localTimeText(now).c_str());
    KSLOG_NORMAL(L"Earliest Next-Run time: %s", localTimeText(target).c_str());
    unsigned long long seconds = 0;
    bool armed = false;
    if (now < target) {
        seconds = target - now;
        KSLOG_NORMAL(L"No task current. First one due after %llu seconds", seconds);
        // "now" counts whole seconds: without the part of this second already gone, the timer
        // would fire up to a second after the due time.
        armed = m_loop.armIn(static_cast<int64_t>(seconds) * kUnitsPerSecond - subSecondUnits());
    } else {
        KSLOG_NORMAL(L"Some task is already current. Waitable timer will be due immediately");
        armed = m_loop.armIn(1);
    }
    if (!armed)
        logTimerFailure();
    else
        KSLOG_INFO(L"Successfully set waitable timer for %llu seconds", seconds);
}

void CKsTaskScheduler::InitialKickStart(bool bOobe)
{
    const uint32_t delayMs = bOobe ? m_outOfBox.startDelayMs() : m_gate.startDelayMs();
    KSLOG_NORMAL(L"Setting a timer of %u milli-seconds. The scheduler will kick off after this time", delayMs);
    ::SetTimer(m_window.get(), kStartDelayTimer, delayMs, nullptr);
    EngineReason reason = EngineReason::none;
    if (bOobe)
        reason = EngineReason::outOfBoxWait;
    else if (m_gate.installing())
        reason = EngineReason::installing;
    move({EngineEvent::startDelayBegins, 0, reason, Clock::current().now() + (delayMs + 999) / 1000});
}

} // namespace Keelwork::engine
