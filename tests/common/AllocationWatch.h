// The largest single allocation made while a call runs, seen through a replaced global operator
// new: a reader handed a damaged value must not allocate more than the value is long. Only test
// programs that list AllocationWatch.cpp among their sources can use it.
#pragma once

#include <cstddef>

namespace kstest {

void beginAllocationWatch();
// The largest request since beginAllocationWatch; the watch ends.
size_t endAllocationWatch();

template <typename Call>
size_t largestAllocation(Call call)
{
    beginAllocationWatch();
    call();
    return endAllocationWatch();
}

} // namespace kstest
