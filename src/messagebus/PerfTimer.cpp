// Monotonic stopwatch with a log line on stop.
#include "messagebus/PerfTimer.h"

#include "logging/internal_logging.h"
#include "message/MonotonicClock.h"

namespace Tessel::internal {

PerfTimer::PerfTimer(std::wstring name) : m_name(std::move(name)), m_startMs(monotonicMillis()) {}

PerfTimer::~PerfTimer()
{
    stop();
}

void PerfTimer::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    int64_t endMs = monotonicMillis();
    KSLOG_NORMAL(L"M12NPerfTimer|%ls|%lld|%lld|%lld", m_name.c_str(), static_cast<long long>(m_startMs),
                 static_cast<long long>(endMs), static_cast<long long>(endMs - m_startMs));
}

} // namespace Tessel::internal
