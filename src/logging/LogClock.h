// The clock the file logger stamps lines with: a seam so tests can fix the time of a line.
#pragma once

namespace ETWLogging {

struct LocalTimestamp {
    unsigned short year = 0;
    unsigned short month = 0;
    unsigned short day = 0;
    unsigned short hour = 0;
    unsigned short minute = 0;
    unsigned short second = 0;
};

class LogClock {
public:
    virtual ~LogClock() = default;
    virtual LocalTimestamp now() const = 0;
};

// Local wall-clock time of the machine.
const LogClock& systemLogClock();

} // namespace ETWLogging
