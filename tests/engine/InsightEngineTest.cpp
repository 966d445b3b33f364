// The answers to Explain and History over the running engine's own board: each verdict brought
// about by its real cause through the real engine, read from the test's thread.
#include "EngineLoopFixture.h"

#include "insight/InsightReplies.h"
#include "message/JSONFormatter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <initializer_list>

namespace {

using namespace kstest;

// A member of a reply along a path of member names (or array positions), as text.
std::wstring at(const std::wstring& reply, std::initializer_list<const wchar_t*> path)
{
    Tessel::JSONFormatter json;
    if (!json.parse(reply))
        return L"<not JSON>";
    const Tessel::JSONFormatter::Value* value = &json.root();
    for (const wchar_t* key : path) {
        if (value->IsArray() && static_cast<unsigned>(std::wcstoul(key, nullptr, 10)) < value->Size()) {
            value = &(*value)[static_cast<unsigned>(std::wcstoul(key, nullptr, 10))];
            continue;
        }
        if (!value->IsObject() || !value->HasMember(key))
            return L"<absent>";
        value = &(*value)[key];
    }
    if (value->IsString())
        return value->GetString();
    return value->IsUint() ? std::to_wstring(value->GetUint()) : L"<other>";
}

class InsightOverEngine : public EngineLoop {
protected:
    std::wstring explain(const wchar_t* name, uint32_t now = Keelwork::Clock::current().now()) const
    {
        return KsInsight::explainReply(L"{\"name\":\"" + std::wstring(name) + L"\"}", m_board, now);
    }
    // Asks again (bounded) until `ready` holds: the board and the history are told after the reports.
    static std::wstring awaitReply(const std::function<std::wstring()>& ask,
                                   const std::function<bool(const std::wstring&)>& ready)
    {
        std::wstring reply = ask();
        for (DWORD waited = 0; waited < kBoundMs && !ready(reply); waited += 50) {
            ::Sleep(50);
            reply = ask();
        }
        return reply;
    }

    KsInsight::BoardStateSource m_board;
};

TEST_F(InsightOverEngine, AFullScreenApplicationHoldsADueTask)
{
    DrivenClock clock;
    const uint32_t t0 = clock.value;
    storeAt(L"held", t0 - 5);
    answerFullScreen(true);
    start();
    kick();
    triggerAndPump();
    const std::wstring reply = explain(L"held", t0);
    EXPECT_EQ(at(reply, {L"verdict"}), L"held") << reply;
    EXPECT_EQ(at(reply, {L"hold", L"reason"}), L"full screen");
    EXPECT_EQ(at(reply, {L"hold", L"since"}), std::to_wstring(t0));
    EXPECT_EQ(at(reply, {L"hold", L"until"}), std::to_wstring(t0 + 21600));
}

TEST_F(InsightOverEngine, APendingRestartSuspendsTheEngine)
{
    setDword(L"SOFTWARE\\Kestrel\\Volatile\\ZARN", L"IsRestartPending", 1);
    storeDue(L"due", L"--exit 0");
    start();
    kick();
    const std::wstring reply =
        awaitReply([&] { return explain(L"due"); }, [](const std::wstring& r) { return at(r, {L"verdict"}) == L"suspended"; });
    EXPECT_EQ(at(reply, {L"verdict"}), L"suspended") << reply;
    EXPECT_EQ(at(reply, {L"engine", L"reason"}), L"restart pending");
}

// An exit code, a refused program (and its history), a disabled task and a logon task counting.
TEST_F(InsightOverEngine, LaunchesRefusalsDisabledTasksAndOccasionsAreExplained)
{
    storeDue(L"exits7", L"--exit 7");
    storeTask(L"refused", KS_TASK_SCHEDULED, L"", Keelwork::Clock::current().now() - 5, 3600,
              testProgramFolder() + L"\\no-such-program.exe");
    storeDue(L"off", L"--exit 0");
    {
        CKsTask task(L"off");
        ASSERT_TRUE(task.Read() && task.Disable());
    }
    storeTask(L"logon", KS_TASK_LOGON, L"--exit 0", 0, 3);
    start();
    EXPECT_EQ(awaitMessages({L"TaskScheduler.Task.Completed.exits7 {\"name\":\"exits7\"}",
                             L"TaskScheduler.Task.LaunchAttempt.refused {\"name\":\"refused\"}"}),
              std::set<std::wstring>{});
    send(Keelwork::engine::kLogonMessage);

    const std::wstring ran = awaitReply([&] { return explain(L"exits7"); },
                                        [](const std::wstring& r) { return at(r, {L"lastLaunch", L"exitCode"}) == L"7"; });
    EXPECT_EQ(at(ran, {L"lastLaunch", L"exitCode"}), L"7") << ran;
    EXPECT_EQ(at(ran, {L"verdict"}), L"waiting");
    const std::wstring refused = awaitReply([&] { return explain(L"refused"); },
                                            [](const std::wstring& r) { return at(r, {L"verdict"}) == L"deferred"; });
    EXPECT_EQ(at(refused, {L"verdict"}), L"deferred") << refused;
    EXPECT_EQ(at(refused, {L"lastDeferral", L"code"}), L"10");
    EXPECT_EQ(at(refused, {L"lastDeferral", L"reason"}), L"validation");
    const std::wstring history = awaitReply([] { return KsInsight::historyReply(std::wstring(L"{\"name\":\"refused\"}")); },
                                            [](const std::wstring& r) { return at(r, {L"entries", L"0"}) != L"<absent>"; });
    EXPECT_EQ(at(history, {L"entries", L"0", L"event"}), L"refused") << history;
    EXPECT_EQ(at(explain(L"off"), {L"verdict"}), L"disabled");
    const std::wstring logon = explain(L"logon");
    EXPECT_EQ(at(logon, {L"verdict"}), L"occasion") << logon;
    EXPECT_EQ(at(logon, {L"occasion", L"every"}), L"3");
    EXPECT_EQ(at(logon, {L"occasion", L"seen"}), L"1");
}

} // namespace
