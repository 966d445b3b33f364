// This test program's nothrow allocation: fails, while armed, for allocations of one size, so a
// test can make one kind of object the engine allocates without throwing come back empty.
#include "FailingAllocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> g_failingSize{0};

} // namespace

namespace kstest {

FailingAllocation::FailingAllocation(size_t size)
{
    g_failingSize = size;
}

FailingAllocation::~FailingAllocation()
{
    g_failingSize = 0;
}

} // namespace kstest

// Replaces the runtime's: same heap, so the ordinary delete frees what this returns.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (size != 0 && size == g_failingSize.load())
        return nullptr;
    return std::malloc(size != 0 ? size : 1);
}
