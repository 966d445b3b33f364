// The replaced global operator new behind AllocationWatch.h; the runtime's array and nothrow forms
// come through it, and the runtime's operator delete frees what it returns (same heap).
#include "AllocationWatch.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> g_watching{false};
std::atomic<size_t> g_largest{0};
} // namespace

void* operator new(std::size_t size)
{
    if (g_watching.load(std::memory_order_relaxed)) {
        size_t seen = g_largest.load(std::memory_order_relaxed);
        while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* block = std::malloc(size != 0 ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace kstest {

void beginAllocationWatch()
{
    g_largest = 0;
    g_watching = true;
}

size_t endAllocationWatch()
{
    g_watching = false;
    return g_largest;
}

} // namespace kstest
