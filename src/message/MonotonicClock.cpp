// Unbiased interrupt time in milliseconds.
#include "message/MonotonicClock.h"

#include "common/WinInclude.h"

namespace Tessel {

int64_t monotonicMillis()
{
    ULONGLONG hundredNanos = 0;
    QueryUnbiasedInterruptTime(&hundredNanos);
    return static_cast<int64_t>(hundredNanos / 10000);
}

} // namespace Tessel
