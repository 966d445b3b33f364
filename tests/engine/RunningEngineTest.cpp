// The running-engine link: calls reach the registered engine only, and ending a registration
// waits for the calls in flight, so no call is ever inside an engine whose registration is over.
#include "engine/RunningEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

using Keelwork::engine::EngineTarget;
using Keelwork::engine::RunningEngineRegistration;
using Keelwork::engine::withRunningEngine;

namespace {

// Counts calls, and calls that were inside it after it was retired (its registration over).
class Engine final : public EngineTarget {
public:
    std::unique_ptr<Keelwork::engine::AutoMaintenanceResponse> requestAMMode(bool) override
    {
        lateCalls += retired ? 1 : 0;
        ++calls;
        // Widen the window in which an unguarded link would let the engine go mid-call.
        std::this_thread::yield();
        lateCalls += retired ? 1 : 0;
        return nullptr;
    }
    void requestRunNow(const std::wstring&) override {}
    Keelwork::engine::PumpView decisionView() const override { return {}; }

    std::atomic<bool> retired{false};
    std::atomic<int> calls{0};
    std::atomic<int> lateCalls{0};
};

void callEngine(EngineTarget& engine)
{
    engine.requestAMMode(true);
}

TEST(RunningEngine, NoCallIsInsideAnEngineOnceItsRegistrationHasEnded)
{
    EXPECT_FALSE(withRunningEngine(callEngine)) << "no engine registered yet";

    std::atomic<bool> stop{false};
    std::vector<std::thread> callers;
    for (int i = 0; i < 3; ++i)
        callers.emplace_back([&stop] {
            while (!stop)
                withRunningEngine(callEngine);
        });

    std::vector<std::unique_ptr<Engine>> engines;
    for (int round = 0; round < 200; ++round) {
        engines.push_back(std::make_unique<Engine>());
        Engine& engine = *engines.back();
        {
            RunningEngineRegistration link(engine);
            for (int spin = 0; engine.calls == 0 && spin < 100000; ++spin)
                std::this_thread::yield();
        }
        engine.retired = true;
    }
    stop = true;
    for (std::thread& caller : callers)
        caller.join();

    int reached = 0;
    for (const auto& engine : engines) {
        EXPECT_EQ(engine->lateCalls.load(), 0);
        reached += engine->calls > 0 ? 1 : 0;
    }
    EXPECT_GT(reached, 0) << "the callers never reached an engine";
    EXPECT_FALSE(withRunningEngine(callEngine)) << "the last registration is over";
}

TEST(RunningEngine, CallThatThrowsReleasesTheLinkAndANewerRegistrationSurvivesAnOlderOnesEnd)
{
    Engine older;
    Engine newer;
    auto first = std::make_unique<RunningEngineRegistration>(older);
    // The exception passes to the caller; a link still held would hang the registrations below.
    EXPECT_THROW(withRunningEngine([](EngineTarget&) { throw std::runtime_error("engine failed"); }),
                 std::runtime_error);
    RunningEngineRegistration second(newer);
    first.reset();
    EXPECT_TRUE(withRunningEngine(callEngine));
    EXPECT_EQ(newer.calls.load(), 1);
    EXPECT_EQ(older.calls.load(), 0);
}

} // namespace
