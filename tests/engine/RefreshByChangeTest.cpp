// A refresh by change against a whole re-read: after changes made through task management (which
// names the task) or written straight to the store as another process would, the engine's list,
// next wake, queue and board are those a whole re-read gives, and the log names only what changed.
#include "ExpectLogged.h"
#include "TaskManagerFixture.h"
#include "common/ChangedTasks.h"
#include "insight/InsightReplies.h"
#include "management/TaskManagement.h"
#include "store/TaskMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <random>
#include <sstream>

namespace {

using Keelwork::engine::CKsTaskManager;
using Scope = Keelwork::engine::RefreshScope;
using kstest::storeTask;
using Lines = std::vector<std::wstring>;

class RefreshByChange : public kstest::TaskManagerFixture {
protected:
    void SetUp() override
    {
        TaskManagerFixture::SetUp();
        ASSERT_NE(Keelwork::ChangedTasks::ofProcess().attach(), nullptr);
    }
    void TearDown() override
    {
        Keelwork::ChangedTasks::ofProcess().detach();
        TaskManagerFixture::TearDown();
    }

    struct Engine {
        std::shared_ptr<KsState::EngineStateBoard> board = std::make_shared<KsState::EngineStateBoard>();
        std::unique_ptr<CKsTaskManager> tasks;
        // `logsEachTask`: whether the queue builder looks at every task; empty: as the logger says.
        explicit Engine(std::function<bool()> logsEachTask = {}, bool retailDemo = false)
        {
            Keelwork::engine::TaskManagerServices services;
            services.logsEachTask = std::move(logsEachTask);
            services.retailDemo = std::make_unique<kstest::RetailDemoAnswer>(retailDemo);
            tasks = std::make_unique<CKsTaskManager>(3600, nullptr, std::move(services));
            tasks->UseStateBoard(board);
            EXPECT_EQ(tasks->GatherAllTasks(), 0u);
        }
        // Everything a refresh leaves that the engine acts on, as text.
        std::wstring picture()
        {
            std::wostringstream out;
            for (const auto& [name, task] : tasks->tasks()) {
                const KsState::TaskState state = board->read(name).second;
                out << name << L' ' << task->dwNextRun << L' ' << task->dwTaskType << L' ' << task->dwHour << L' '
                    << task->nPriority << L' ' << int(task->m_bDirty) << L' ' << task->m_dwOobeWait << L' '
                    << task->m_dwRetryAt << L' ' << task->m_dwLaunchCount << L' ' << int(task->m_builderHold) << L' '
                    << state.queued << state.running << int(state.hold.reason) << task->m_bLongOverdue
                    << task->m_queuedToRunNow << L'\n';
            }
            out << L"wake " << tasks->FindMinNextRunTime() << L'\n';
            return out.str();
        }
        std::wstring queueAfterBuild()
        {
            tasks->_AddToQ(KS_TASK_SCHEDULED, 0, 0, 0);
            std::wstring text = picture();
            while (auto item = tasks->queue().pop())
                text += item->name + L' ' + std::to_wstring(item->priority) + L'\n';
            return text;
        }
    };

    static kstest::LogCapture settled(CKsTaskManager& tasks)
    {
        kstest::LogCapture capture;
        tasks.Refresh(Scope::written);
        return capture;
    }

    // The refresh's own log lines, their text only (`tasksOnly`: those naming a task).
    static Lines refreshLines(const kstest::LogCapture& capture, bool tasksOnly = false)
    {
        Lines lines;
        for (const std::wstring& line : capture.lines()) {
            const std::wstring text = line.substr(line.rfind(L'$') + 2);
            for (const wchar_t* mark : {L"Processing task: ", L"in our internal list. Deleting it", L"back to the list",
                                        L"Finished looking", L"was not found in the registry", L"Refreshing our internal"}) {
                if (text.find(mark) != std::wstring::npos)
                    lines.push_back(text);
                if (tasksOnly)
                    break;
            }
        }
        return lines;
    }

    Orbis::TaskManagement m_management;
};

// `outside...`: written as another process writes, naming no task.
enum class Change { create, modify, remove, disable, enable, outside, outsideRemove };

// One change of `kind` to the task `name`; true when the store took it.
bool apply(Orbis::TaskManagement& management, Change kind, const std::wstring& name, uint32_t hour)
{
    switch (kind) {
    case Change::create:
        storeTask({.name = name, .hour = hour});
        Orbis::TaskManagement::signalEngine(name);
        return true;
    case Change::modify:
        return management.modifyTask(name, L"{\"hour\":\"" + std::to_wstring(hour) + L"\"}");
    case Change::remove:
        return management.deleteTask(name.c_str()) != FALSE;
    case Change::disable:
        return management.disableTask(name.c_str()) != FALSE;
    case Change::enable:
        return management.enableTask(name.c_str()) != FALSE;
    case Change::outside: {  // now and then kept out of auto-maintenance runs (8) or its window (16)
        const bool logon = hour % 5 == 4;  // or a log-on task, its count reached
        storeTask({.name = name, .type = logon ? KS_TASK_LOGON : KS_TASK_SCHEDULED,
                   .nextRun = logon ? 2 : Keelwork::Clock::current().now() + hour * 600, .freq = logon ? 1u : 3600u,
                   .wise = hour % 3 * 8});
        return true;
    }
    case Change::outsideRemove:
        return CKsTask(name.c_str()).Delete();
    }
    return false;
}

TEST_F(RefreshByChange, EachKindOfChangeLogsOnlyItsTaskAndLeavesWhatAWholeReReadLeaves)
{
    const std::wstring finished =
        L"Finished looking at all items in the registry. Now deleting all items in our internal list that are not dirty";
    const std::wstring begin = L"A new task was added or deleted. Refreshing our internal memory list";
    const Lines reread = {begin, L"Processing task: b", L"Task b exists in our internal list. Deleting it",
                          L"Adding task b back to the list", finished};
    const Lines gone = {begin, finished, L"Task b was not found in the registry. So it will be deleted from our internal list"};
    const struct {
        Change kind;
        const wchar_t* name;
        Lines lines;
    } cases[] = {
        {Change::create, L"new", {begin, L"Processing task: new", L"Adding task new back to the list", finished}},
        {Change::modify, L"b", reread},
        {Change::outside, L"b", reread},
        {Change::remove, L"b", gone},
        {Change::disable, L"b", gone},
        {Change::outsideRemove, L"b", gone},
        {Change::enable, L"off", {begin, L"Processing task: off", L"Adding task off back to the list", finished}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        for (const wchar_t* name : {L"a", L"b", L"c", L"off"})
            storeTask({.name = name});
        ASSERT_TRUE(m_management.disableTask(L"off"));
        Keelwork::ChangedTasks::ofProcess().take();
        Engine byChange, whole;
        // Keys written a moment ago may yet be written again within their clock tick and keeping
        // their time: they are read again until that tick has passed.
        for (int turn = 0; turn < 100000 && !refreshLines(settled(*byChange.tasks), true).empty(); ++turn) {
        }
        whole.tasks->Refresh();
        byChange.queueAfterBuild();
        whole.queueAfterBuild();
        ASSERT_TRUE(apply(m_management, c.kind, c.name, 7));
        const kstest::LogCapture capture;
        byChange.tasks->Refresh(c.kind >= Change::outside ? Scope::written : Scope::named);
        EXPECT_EQ(refreshLines(capture), c.lines);
        whole.tasks->Refresh();
        EXPECT_EQ(byChange.queueAfterBuild(), whole.queueAfterBuild());
        for (const wchar_t* name : {L"a", L"b", L"c", L"off", L"new"})
            CKsTask(name).Delete();
    }
}

TEST_F(RefreshByChange, SeededRandomChangesLeaveWhatAWholeReReadLeaves)
{
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const std::wstring names[] = {L"alpha", L"Beta", L"gamma", L"delta", L"Epsilon", L"zeta"};
        for (const std::wstring& name : names)
            if (random() % 2)
                storeTask({.name = name});
        Engine byChange, whole;
        for (int step = 0; step < 40; ++step) {
            const Change kind = static_cast<Change>(random() % 7);
            const std::wstring& name = names[random() % std::size(names)];
            apply(m_management, kind, name, random() % 24);
            byChange.tasks->Refresh(kind >= Change::outside ? Scope::written : Scope::named);
            whole.tasks->Refresh();
            ASSERT_EQ(byChange.picture(), whole.picture()) << "step " << step;
            if (random() % 3 == 0) {
                ASSERT_EQ(byChange.queueAfterBuild(), whole.queueAfterBuild()) << "step " << step;
            }
        }
        for (const std::wstring& name : names)
            CKsTask(name.c_str()).Delete();
    }
}

// The answers keep what they read of a task until it changes; another process's write or removal
// names no task, and reaches them through the engine, which finds it by the keys' times.
TEST_F(RefreshByChange, AnswersTellAnotherProcesssWriteAndRemovalOnceTheEngineFoundThem)
{
    const KsStore::TaskMemory::Hold memory;
    storeTask({.name = L"b", .nextRun = kstest::kNow + 60});
    Engine engine;
    const std::wstring path = std::wstring(KsStore::kSchedulerKeyPath) + L"\\b";
    const auto told = [] { return KsInsight::explainReply(L"{\"name\":\"b\"}", KsInsight::BoardStateSource(), kstest::kNow); };
    const std::function<LONG()> writes[] = {
        [&] {
            Keelwork::CRegKey key;
            LONG rc = key.open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY);
            return rc ? rc : static_cast<LONG>(KsStore::writeProtectedDword(key, KsStore::ValueName::NextRun, kstest::kNow + 7200));
        },
        [&] { return ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0); },
    };
    const std::wstring after[] = {L"\"nextRun\":" + std::to_wstring(kstest::kNow + 7200) + L",",
                                  L"\"error\":\"No task of that name is stored.\""};
    for (size_t i = 0; i < std::size(writes); ++i) {
        for (int turn = 0; turn < 100000 && !refreshLines(settled(*engine.tasks), true).empty(); ++turn) {
        }
        const std::wstring before = told();
        ASSERT_EQ(writes[i](), ERROR_SUCCESS);
        EXPECT_EQ(told(), before);
        engine.tasks->Refresh(Scope::written);
        EXPECT_NE(told().find(after[i]), std::wstring::npos) << i;
    }
}

// The engine refreshing by change whose queue builder looks only at the tasks its due index finds
// due (and those it holds) against one re-reading and looking at every task, after the same random
// changes, retail demo lists, clock moves, queue builds in and out of auto-maintenance, and runs
// of the head task.
TEST_F(RefreshByChange, QueueBuiltFromTheDueIndexIsTheOneAWalkOverEveryTaskBuilds)
{
    for (const unsigned seed : {6u, 15u, 18u}) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        const std::wstring names[] = {L"alpha", L"Beta", L"gamma", L"delta", L"Epsilon", L"zeta"};
        storeTask({.name = names[0]});
        Engine walked([] { return true; }, true), indexed([] { return false; }, true);
        for (int step = 0; step < 40; ++step) {
            // Some steps only move the clock (to the next wake, as the timer wakes the engine).
            const bool change = random() % 3 != 0;
            const Change kind = static_cast<Change>(random() % 7);
            if (change)
                apply(m_management, kind, names[random() % std::size(names)], random() % 24);
            if (change && random() % 4 == 0) {  // the retail demo mode keeps two tasks from running
                const std::wstring listed = names[random() % 6] + L"," + names[random() % 6];
                kstest::writeRaw(kstest::kTasksKey, L"DisabledInRetailModeTasks", REG_SZ, listed.c_str(),
                                 (listed.size() + 1) * sizeof(wchar_t));
            }
            if (change)
                m_clock.value += random() % 8 == 0 ? 4 * 86400 : random() % 2400;  // now and then long overdue
            else if (random() % 2 == 0)
                m_clock.value = std::max<uint32_t>(m_clock.value, walked.tasks->FindMinNextRunTime());
            else
                m_clock.value += random() % 600;
            const DWORD maintenance = random() % 3 == 0;
            const DWORD occasion = std::array<DWORD, 4>{0, 0, KS_TASK_LOGON, KS_TASK_REBOOT}[random() % 4];
            const DWORD occasionOutOfOobe = random() % 5 == 0;
            std::wstring built[2];
            for (Engine* engine : {&walked, &indexed}) {
                std::wstring& text = built[engine == &indexed];
                if (change)
                    engine->tasks->Refresh(engine == &walked      ? Scope::everything
                                           : kind >= Change::outside ? Scope::written
                                                                     : Scope::named);
                text = engine->picture();
                for (DWORD type : {KS_TASK_CUSTOM, KS_TASK_PRESET, KS_TASK_SCHEDULED})
                    engine->tasks->_AddToQ(type, 0, maintenance, 43200);
                if (occasion != 0)  // a log-on or a boot, now and then as the first after the out-of-box
                    engine->tasks->_AddToQ(occasion, occasionOutOfOobe, 0, 0);
                engine->tasks->AddDeferredOccasionsToQ();
                engine->tasks->AddRunNowTasksToQ();
                text += engine->picture();
                for (const std::wstring& name : engine->tasks->queue().names())
                    text += name + L'\n';
            }
            ASSERT_EQ(built[0], built[1]) << "step " << step;
            if (random() % 3 == 0) {
                std::wstring ran;
                for (Engine* engine : {&walked, &indexed})
                    engine->tasks->RunAndPopTopTask(ran, nullptr);
            }
            if (random() % 4 == 0) {
                walked.tasks->EndBatch();
                indexed.tasks->EndBatch();
            }
            if (random() % 3 == 0) {
                const std::wstring& asked = names[random() % std::size(names)];
                walked.tasks->AskRunNow(asked);
                indexed.tasks->AskRunNow(asked);
            }
        }
        for (const std::wstring& name : names)
            CKsTask(name.c_str()).Delete();
    }
}

} // namespace
