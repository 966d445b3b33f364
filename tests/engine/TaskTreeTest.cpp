// A task's program and the processes it starts, through the real engine: a background task's
// whole tree runs below normal priority while every other task's runs at normal, and a run the
// engine waited for tells what its tree used.
#include "EngineLoopFixture.h"
#include "SampleTaskReport.h"

#include "insight/InsightReplies.h"
#include "message/JSONFormatter.h"

#include <gtest/gtest.h>

namespace {

using namespace kstest;

struct TreeCase {
    const char* label;
    uint32_t background;
    const wchar_t* priority;  // as sample-task reports its own class
};

class TaskTree : public EngineLoop, public ::testing::WithParamInterface<TreeCase> {};

// Each of the three processes reports its class after half a second of running.
TEST_P(TaskTree, EveryProcessOfTheTreeRunsAtTheTasksPriority)
{
    ReportFile report;
    storeTask({.name = L"tree",
               .params = L"--children 2 --sleep 500 --report " + report.path() + L" --sleep 1000",
               .background = GetParam().background});
    start();
    EXPECT_EQ(awaitMessages({completed(L"tree")}), std::set<std::wstring>{});
    ASSERT_TRUE(awaitTrue([&] { return report.values(L"priority").size() == 3; })) << report.values(L"priority").size();
    EXPECT_EQ(report.values(L"priority"), std::vector<std::wstring>(3, GetParam().priority));
}

INSTANTIATE_TEST_SUITE_P(Priorities, TaskTree,
                         ::testing::Values(TreeCase{"Background", 1, L"0x4000"}, TreeCase{"Normal", 0, L"0x20"}),
                         [](const auto& info) { return std::string(info.param.label); });

// A member of the newest history entry and of Explain's last launch; 0 when absent.
uint64_t usageOf(const std::wstring& reply, const wchar_t* outer, const wchar_t* member)
{
    Tessel::JSONFormatter json;
    if (!json.parse(reply) || !json.root().HasMember(outer))
        return 0;
    const Tessel::JSONFormatter::Value* value = &json.root()[outer];
    if (value->IsArray())
        value = value->Empty() ? nullptr : &(*value)[0];
    return value && value->HasMember(member) && (*value)[member].IsUint64() ? (*value)[member].GetUint64() : 0;
}

TEST_F(EngineLoop, ARunWaitedForTellsItsTreesProcessorTimeAndPeakMemory)
{
    storeTask({.name = L"busy", .params = L"--touch 64 --spin 300 --sleep 300"});
    start();
    EXPECT_EQ(awaitMessages({completed(L"busy")}), std::set<std::wstring>{});
    std::wstring history;
    ASSERT_TRUE(awaitTrue([&] {
        history = KsInsight::historyReply(std::wstring(L"{\"name\":\"busy\"}"));
        return usageOf(history, L"entries", L"durationMs") != 0;
    })) << history;
    KsInsight::BoardStateSource board;
    const std::wstring explain = KsInsight::explainReply(L"{\"name\":\"busy\"}", board, Keelwork::Clock::current().now());
    for (const auto& [reply, outer] : {std::pair{history, L"entries"}, std::pair{explain, L"lastLaunch"}}) {
        // The program's own count of its spin, less a tick of the clocks that measure it; far
        // from the whole wait.
        EXPECT_GE(usageOf(reply, outer, L"cpuMs"), 280u) << reply;
        EXPECT_LE(usageOf(reply, outer, L"cpuMs"), 5000u) << reply;
        EXPECT_GE(usageOf(reply, outer, L"peakMemoryBytes"), uint64_t{64} << 20) << reply;
        EXPECT_LE(usageOf(reply, outer, L"peakMemoryBytes"), uint64_t{512} << 20) << reply;
    }
}

} // namespace
