// The production clock of the file logger: the machine's local time.
#include "logging/LogClock.h"

#include "common/WinInclude.h"

namespace ETWLogging {

namespace {
class SystemLogClock final : public LogClock {
public:
    LocalTimestamp now() const override
    {
        SYSTEMTIME t{};
        GetLocalTime(&t);
        return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
    }
};
} // namespace

const LogClock& systemLogClock()
{
    static const SystemLogClock clock;
    return clock;
}

} // namespace ETWLogging
