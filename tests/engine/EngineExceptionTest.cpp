// The engine thread meets the unexpected: an exception thrown at start-up, in its wait loop or in
// a window message, and an allocation that fails. The engine ends (or goes on) cleanly, says why
// at level Error, its stop returns at once, and a fresh engine starts afterwards.
#include "EngineLoopFixture.h"
#include "ExpectLogged.h"

#include "engine/RunQueue.h"
#include "engine/TaskManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> g_failingSize{0};

// This test program's nothrow allocation fails, while one lives, for allocations of one size: the
// object the engine allocates of that size without throwing comes back empty.
class FailingAllocation {
public:
    explicit FailingAllocation(size_t size) { g_failingSize = size; }
    ~FailingAllocation() { g_failingSize = 0; }
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
};

} // namespace

// Replaces the runtime's: same heap, so the ordinary delete frees what this returns.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (size != 0 && size == g_failingSize.load())
        return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

namespace {

using namespace kstest;

constexpr DWORD kThreadFailed = 0xFFFFFFFF;

// The system clock, which throws on every thread but the test's own once armed.
class ThrowingClock final : public Keelwork::Clock {
public:
    ThrowingClock() { Keelwork::Clock::install(this); }
    ~ThrowingClock() override { Keelwork::Clock::install(nullptr); }
    uint32_t now() const override
    {
        if (armed && ::GetCurrentThreadId() != m_testThread)
            throw std::bad_alloc();
        return Keelwork::SystemClock().now();
    }
    std::atomic<bool> armed{false};

private:
    DWORD m_testThread = ::GetCurrentThreadId();
};

enum class Where { startUp, waitLoop, windowMessage };

class EngineException : public EngineLoop, public ::testing::WithParamInterface<Where> {};

TEST_P(EngineException, EndsTheEngineWhichStopsAtOnceAndStartsAfresh)
{
    ThrowingClock clock;
    LogCapture log;
    if (GetParam() == Where::startUp) {
        clock.armed = true;
        launch();
    } else {
        start();
        kick();
        clock.armed = true;
        if (GetParam() == Where::waitLoop)
            signalNewTask();  // the refresh's trigger asks the clock on the loop itself
        else
            ::PostMessageW(engineWindow(), Keelwork::engine::kLogonMessage, 0, 0);
    }
    ASSERT_TRUE(awaitLogged(log, L"The task scheduler thread ended on an unexpected exception: std::bad_alloc"));
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR, L"ended on an unexpected exception: std::bad_alloc");
    const ULONGLONG asked = ::GetTickCount64();
    stop(kThreadFailed);
    EXPECT_LT(::GetTickCount64() - asked, 5000u) << "the stop waited";  // a hang check

    clock.armed = false;
    storeTask({.name = L"afterwards", .params = L"--set-event " + ranEventName()});
    start();
    EXPECT_EQ(::WaitForSingleObject(m_ran.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "no fresh engine";
}

INSTANTIATE_TEST_SUITE_P(Thrown, EngineException,
                         ::testing::Values(Where::startUp, Where::waitLoop, Where::windowMessage),
                         [](const auto& info) {
                             return std::string(info.param == Where::startUp    ? "AtStartUp"
                                                : info.param == Where::waitLoop ? "InTheWaitLoop"
                                                                                : "InAWindowMessage");
                         });

class EngineAllocation : public EngineLoop {};

TEST_F(EngineAllocation, NoTaskManagerMeansNoEngine)
{
    FailingAllocation failing(sizeof(Keelwork::engine::CKsTaskManager));
    LogCapture log;
    launch();
    stop(kThreadFailed);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_ERROR, L"Could not create task manager object. Memory error");
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_CRITICAL, L"TASK SCHEDULER FUNCTIONALITY IS NOT AVAILABLE");
}

// A trigger that cannot queue a task of the first type leaves the other types for the next one.
TEST_F(EngineAllocation, TriggerStopsAtTheFirstTypeThatCannotBeQueued)
{
    TestClock clock;
    // Kept due: a calendar without week days leaves the next run alone.
    for (uint32_t type : {KS_TASK_CUSTOM, KS_TASK_PRESET, KS_TASK_SCHEDULED})
        storeTask({.name = L"type" + std::to_wstring(type), .type = type});
    start();
    LogCapture log;
    {
        FailingAllocation failing(sizeof(Keelwork::engine::QueueItem));
        kick();
    }
    EXPECT_TRUE(log.contains(L"Adding tasks of type 5 to the Q")) << narrowForReport(log.text());
    EXPECT_FALSE(log.contains(L"Adding tasks of type 6 to the Q")) << narrowForReport(log.text());
    EXPECT_FALSE(log.contains(L"Adding tasks of type 3 to the Q")) << narrowForReport(log.text());
}

} // namespace
