// Scale: 10,000 tasks created by task-management requests over the real bus (served by
// TaskScheduler.dll, initialized but not started), then the engine of this process loads them,
// refreshes after one change, stays idle while none is due, and runs a batch of 100 due tasks in
// priority order. Creates per second and the refresh's cost per task are printed, not asserted.
#include "EngineLoopFixture.h"
#include "ModuleHost.h"

#include "store/KsTaskInfo.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace {

using namespace kstest;
using Clock = std::chrono::steady_clock;

constexpr int kTasks = 10000;
constexpr int kBatch = 100;
constexpr uint32_t kBatchDueIn = 600;
constexpr uint32_t kOthersDueIn = 30 * 86400;
// A hang bound for the steps that walk all 10,000 tasks; far above what they take.
constexpr DWORD kWalkBoundMs = 180000;

struct Level {
    const wchar_t* word;
    int32_t priority;
};
// Explicit levels only: the default and lowest levels take a priority from the task's kind.
constexpr Level kLevels[] = {{L"low", KS_PRIORITY_LOW},
                             {L"normal", KS_PRIORITY_NORMAL},
                             {L"high", KS_PRIORITY_HIGH},
                             {L"highest", KS_PRIORITY_HIGHEST},
                             {L"realtime", KS_PRIORITY_REALTIME}};

std::wstring jsonEscaped(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t c : text)
        escaped += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    return escaped;
}

std::wstring taskName(int index)
{
    wchar_t name[16];
    std::swprintf(name, 16, L"t%05d", index);
    return name;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class EngineScale : public EngineLoop {
protected:
    static void SetUpTestSuite() { moduletest::moduleExports(); }

    void SetUp() override
    {
        EngineLoop::SetUp();
        m_module.emplace();
    }

    void TearDown() override
    {
        stop();
        m_module.reset();
        EngineLoop::TearDown();
    }

    // The reply's payload, or nothing when none came within the bound.
    std::optional<std::wstring> request(const std::wstring& name, const std::wstring& payload)
    {
        auto answer = m_module->request(name, payload);
        return answer ? std::optional<std::wstring>(answer->payload) : std::nullopt;
    }

    std::optional<moduletest::HostedModule> m_module;
};

TEST_F(EngineScale, TenThousandTasksLoadRefreshIdleAndRunABatchOfAHundredInPriorityOrder)
{
    TestClock clock;  // held still: nothing falls due until the test moves it
    const uint32_t start = clock.value;
    const std::wstring program = jsonEscaped(sampleTaskPath());
    std::map<std::wstring, int32_t> batch;  // name -> priority

    const auto created = Clock::now();
    for (int i = 0; i < kTasks; ++i) {
        const std::wstring name = taskName(i);
        const bool inBatch = i < kBatch;
        const Level& level = kLevels[i % std::size(kLevels)];
        std::wstring payload = L"{\"name\":\"" + name +
                               L"\",\"taskType\":\"scheduled\",\"triggerType\":\"process\",\"taskTrigger\":\"" +
                               program + L"\",\"cmdParams\":\"--exit 0\",\"nextRun\":\"" +
                               std::to_wstring(start + (inBatch ? kBatchDueIn : kOthersDueIn)) +
                               L"\",\"defaultFreq\":\"86400\"";
        if (inBatch) {
            payload += L",\"priority\":\"" + std::wstring(level.word) + L"\"";
            batch[name] = level.priority;
        }
        payload += L"}";
        const auto answer = request(L"TaskScheduler.Task.Create", payload);
        ASSERT_EQ(answer, std::optional<std::wstring>(L"{\"name\":\"" + name + L"\",\"status\":true}")) << i;
    }
    const double createSeconds = secondsSince(created);
    std::printf("engine scale: %d creates over the bus in %.1f s, %.0f creates/s\n", kTasks, createSeconds,
                kTasks / createSeconds);

    const auto loaded = Clock::now();
    launch();
    ASSERT_EQ(::WaitForSingleObject(m_started.get(), kWalkBoundMs), DWORD{WAIT_OBJECT_0}) << "the engine did not start";
    std::printf("engine scale: engine started with %d tasks in %.1f s\n", kTasks, secondsSince(loaded));
    ASSERT_NE(engineWindow(), nullptr);
    // Sent: the start-delay trigger has built the (empty) queue by the time this returns.
    send(WM_TIMER, Keelwork::engine::kStartDelayTimer, kWalkBoundMs);
    EXPECT_EQ(m_inbox.take(std::chrono::seconds(2)), nullptr) << "a task ran with none due";

    // The modify sets the new-task event before it replies; the engine serves that event before
    // the message sent after the reply, so the send returns once the refresh and its trigger are over.
    const auto refreshed = Clock::now();
    ASSERT_EQ(request(L"TaskScheduler.Task.Modify", L"{\"name\":\"" + taskName(kTasks - 1) + L"\",\"defaultFreq\":\"7200\"}"),
              std::optional<std::wstring>(L"{\"name\":\"" + taskName(kTasks - 1) + L"\",\"status\":true}"));
    send(WM_NULL, 0, kWalkBoundMs);
    const double refreshSeconds = secondsSince(refreshed);
    std::printf("engine scale: refresh and trigger after one change in %.2f s, %.0f us per task\n", refreshSeconds,
                refreshSeconds * 1e6 / kTasks);
    EXPECT_EQ(m_inbox.take(std::chrono::seconds(2)), nullptr) << "a task ran with none due";

    // The batch falls due; the waitable timer, fired now, builds the queue once with all of it.
    clock.value = start + kBatchDueIn + 1;
    fireTimer();
    std::vector<std::wstring> order;
    const std::wstring attempt = L"TaskScheduler.Task.LaunchAttempt.";
    while (order.size() < batch.size()) {
        auto message = m_inbox.take(std::chrono::milliseconds(kWalkBoundMs));
        ASSERT_NE(message, nullptr) << "the batch stopped after " << order.size() << " tasks";
        if (message->name().compare(0, attempt.size(), attempt) == 0)
            order.push_back(message->name().substr(attempt.size()));
    }
    EXPECT_EQ(std::set<std::wstring>(order.begin(), order.end()).size(), order.size()) << "a task ran twice";
    for (size_t i = 0; i < order.size(); ++i) {
        ASSERT_EQ(batch.count(order[i]), 1u) << "ran a task outside the batch: " << i;
        if (i > 0) {
            EXPECT_GE(batch.at(order[i - 1]), batch.at(order[i])) << "out of priority order at " << i;
        }
    }
    stop();  // before the clock goes
}

} // namespace
