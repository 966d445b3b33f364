// Many host threads drive the loaded module at once: every request gets exactly one reply,
// nothing deadlocks, and the registry ends as the model each thread kept of its own tasks.
#include "Counter.h"
#include "ModuleHost.h"
#include "TestTask.h"

#include "message/Message.h"
#include "store/KsTask.h"

#include <array>
#include <atomic>
#include <map>
#include <random>
#include <thread>

namespace moduletest {
namespace {

constexpr int kThreads = 8;
constexpr int kTasksPerThread = 3;
constexpr std::chrono::seconds kDuration{30};

struct TaskModel {
    bool exists = false;
    bool enabled = false;
    unsigned defaultFreq = 0;
};

// Replies every request gets, counted by their plain copies; broadcast replies are left out
// because a deleted watched task makes the module answer an unregister of its own.
const wchar_t* const kCountedReplies[] = {
    L"TaskScheduler.Task.Created",  L"TaskScheduler.Task.Modified", L"TaskScheduler.Task.Deleted",
    L"TaskScheduler.Task.Enabled",  L"TaskScheduler.Task.Disabled", L"TaskScheduler.Task.Query.Response",
};

class ConcurrencyTest : public ModuleHostFixture {
protected:
    // One thread's run; returns the number of counted requests it sent. Failures are recorded.
    int drive(int thread, std::map<std::wstring, TaskModel>& model, std::atomic<bool>& failed)
    {
        std::mt19937 random(1234u + thread);
        std::array<std::wstring, kTasksPerThread> names;
        for (int i = 0; i < kTasksPerThread; ++i)
            names[i] = L"t" + std::to_wstring(thread) + L"_" + std::to_wstring(i);
        int counted = 0;
        const auto end = std::chrono::steady_clock::now() + kDuration;
        while (std::chrono::steady_clock::now() < end && !failed) {
            const std::wstring& name = names[random() % kTasksPerThread];
            TaskModel& task = model[name];
            const std::wstring named = L"{\"name\":\"" + name + L"\"}";
            const unsigned freq = 60 + random() % 1000;
            std::optional<Answer> answer;
            bool expected = true;
            switch (random() % 8) {
            case 0:
            case 1:
                if (task.exists) {
                    answer = request(L"TaskScheduler.Task.Modify",
                                     L"{\"name\":\"" + name + L"\",\"defaultFreq\":\"" + std::to_wstring(freq) + L"\"}");
                    task.defaultFreq = freq;
                } else {
                    const bool enabled = random() % 2;
                    answer = request(L"TaskScheduler.Task.Create", createPayload(name, freq, enabled));
                    task = TaskModel{true, enabled, freq};
                }
                ++counted;
                break;
            case 2:
                answer = request(L"TaskScheduler.Task.Delete", named);
                expected = task.exists;
                task.exists = false;
                ++counted;
                break;
            case 3:
                answer = request(L"TaskScheduler.Task.Enable", named);
                expected = task.exists;
                task.enabled = true;
                ++counted;
                break;
            case 4:
                answer = request(L"TaskScheduler.Task.Disable", named);
                expected = task.exists;
                task.enabled = false;
                ++counted;
                break;
            case 5:
                answer = request(L"TaskScheduler.Task.Query", named);
                expected = task.exists;
                ++counted;
                break;
            default:
                // Registration races with the watchers' own unregistering of deleted tasks: only
                // the reply itself is checked.
                answer = request(random() % 2 ? L"TaskScheduler.Task.BroadcastRegister"
                                              : L"TaskScheduler.Task.BroadcastUnRegister",
                                 L"{\"name\":[\"" + name + L"\"]}");
                if (answer && answer->correlated)
                    continue;
                break;
            }
            if (!answer || !answer->correlated) {
                ADD_FAILURE() << "a request got no reply";
                failed = true;
                break;
            }
            const bool status = answer->payload.find(L"\"status\":true") != std::wstring::npos;
            if (status != expected) {
                ADD_FAILURE() << "unexpected reply " << testing::PrintToString(answer->payload);
                failed = true;
            }
        }
        return counted;
    }

    static void expectStored(const std::wstring& name, const TaskModel& task)
    {
        EXPECT_EQ(keyExists(kstest::taskKeyPath(name.c_str()).c_str()), task.exists && task.enabled) << "enabled key";
        EXPECT_EQ(keyExists(kstest::taskKeyPath(name.c_str(), true).c_str()), task.exists && !task.enabled) << "disabled key";
        if (!task.exists)
            return;
        CKsTask stored(name.c_str());
        ASSERT_TRUE(stored.Read());
        EXPECT_EQ(stored.dwDefaultFreq, task.defaultFreq);
    }
};

TEST_F(ConcurrencyTest, EightHostsGetOneReplyEachAndTheRegistryMatchesTheModel)
{
    kstest::Counter replies;
    for (const wchar_t* name : kCountedReplies)
        client().subscribe(name, L"counter", [&replies](std::shared_ptr<Tessel::Message>) {
            replies.add();
            return 0u;
        });

    std::array<std::map<std::wstring, TaskModel>, kThreads> models;
    std::array<int, kThreads> counted{};
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { counted[i] = drive(i, models[i], failed); });
    for (std::thread& thread : threads)
        thread.join();

    int sent = 0;
    for (int n : counted)
        sent += n;
    // The plain copies travel apart from the correlated replies; wait for the last of them, bounded.
    EXPECT_TRUE(replies.waitFor(sent));
    client().unsubscribe(L"counter");
    EXPECT_EQ(replies.value(), sent);
    EXPECT_GT(sent, 0);

    for (const auto& model : models) {
        for (const auto& [name, task] : model) {
            SCOPED_TRACE(testing::PrintToString(name));
            expectStored(name, task);
        }
    }
}

} // namespace
} // namespace moduletest
