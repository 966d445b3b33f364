// A leak check: five minutes of the real engine running a task every three seconds. The process's
// handle count and private bytes are printed at the start and the end; only a generous growth
// bound is asserted, so the check catches a leak per run, not a slow allocator. And a suspended
// engine's window timers, over a minute of real time.
#include "EngineLoopFixture.h"

#include <psapi.h>

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace {

using namespace kstest;

struct Footprint {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
};

// Wine answers 0 for the process's handle count and private bytes; there both are counted
// directly: the handle values that name an open handle, and the committed private pages.
DWORD countOpenHandles()
{
    DWORD open = 0;
    DWORD flags = 0;
    for (uintptr_t value = 4; value < 0x10000; value += 4)
        open += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return open;
}

SIZE_T committedPrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region = {};
    for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
    }
    return total;
}

Footprint footprint()
{
    Footprint now;
    if (!::GetProcessHandleCount(::GetCurrentProcess(), &now.handles) || now.handles == 0)
        now.handles = countOpenHandles();
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                               sizeof counters))
        now.privateBytes = counters.PrivateUsage;
    if (now.privateBytes == 0)
        now.privateBytes = committedPrivateBytes();
    return now;
}

constexpr DWORD kHandleGrowthBound = 50;
constexpr SIZE_T kPrivateGrowthBound = 8 * 1024 * 1024;

TEST_F(EngineLoop, FiveMinutesOfATaskEveryThreeSecondsKeepHandlesAndPrivateBytesFlat)
{
    storeTask({.name = L"tick", .freq = 3});
    start();
    // Each message taken as it comes, so the inbox itself does not grow. Other messages (a
    // deferral, say) do not count: a run must complete within the bound, so an engine that stops
    // running the task fails here rather than hanging.
    const std::wstring completed = L"TaskScheduler.Task.Completed.tick {\"name\":\"tick\"}";
    auto awaitRuns = [&](int runs) {
        auto bound = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
        while (runs > 0 && std::chrono::steady_clock::now() < bound) {
            auto message = m_inbox.take(std::chrono::duration_cast<std::chrono::milliseconds>(
                bound - std::chrono::steady_clock::now()));
            if (message && message->name() + L" " + message->payload() == completed) {
                --runs;
                bound = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBoundMs);
            }
        }
        return runs == 0;
    };
    ASSERT_TRUE(awaitRuns(3)) << "the task stopped running while warming up";  // first-use allocations
    const Footprint first = footprint();
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    int runs = 0;
    while (std::chrono::steady_clock::now() < end) {
        ASSERT_TRUE(awaitRuns(1)) << "the task stopped running after " << runs << " runs";
        ++runs;
    }
    const Footprint last = footprint();
    ASSERT_NE(first.handles, 0u) << "no handle count";
    ASSERT_NE(first.privateBytes, 0u) << "no private bytes";
    std::printf("engine soak: %d runs in 5 min; handles %lu -> %lu; private bytes %llu -> %llu\n", runs,
                first.handles, last.handles, static_cast<unsigned long long>(first.privateBytes),
                static_cast<unsigned long long>(last.privateBytes));
    EXPECT_LE(last.handles, first.handles + kHandleGrowthBound);
    EXPECT_LE(last.privateBytes, first.privateBytes + kPrivateGrowthBound);
}

size_t suspendedNotices(const kstest::LogCapture& log)
{
    size_t count = 0;
    for (const std::wstring& line : log.lines())
        count += line.find(L"Task scheduler has been SUSPENDED. Not processing any messages") != std::wstring::npos;
    return count;
}

// A suspended engine's window timers (the start delay, and the log-on timer that the log-on event,
// created signalled, arms 30 s after the start) end at their first tick at the latest; none goes
// on waking and logging every 30 s for the engine's whole suspended life. Takes a minute: it
// waits for real timers.
TEST_F(EngineLoop, SuspendedEngineEndsItsWindowTimers)
{
    SafeBoot safe;
    kstest::LogCapture log;
    start();
    ::Sleep(65000);  // two periods of the log-on timer
    EXPECT_GE(suspendedNotices(log), 1u) << "the start delay did not fire";
    EXPECT_LE(suspendedNotices(log), 2u) << "a timer went on firing";
}

} // namespace
