// Times one stretch of work on the monotonic clock and writes a machine-readable line with the
// start, end and elapsed milliseconds when it stops.
#pragma once

#include <cstdint>
#include <string>

namespace Tessel::internal {

class PerfTimer {
public:
    explicit PerfTimer(std::wstring name);
    ~PerfTimer();
    PerfTimer(const PerfTimer&) = delete;
    PerfTimer& operator=(const PerfTimer&) = delete;

    // Only the first call counts; the destructor calls it too.
    void stop();

private:
    std::wstring m_name;
    int64_t m_startMs;
    bool m_stopped = false;
};

} // namespace Tessel::internal
