// The reply texts from real stored tasks and real history entries, exact to the character; the
// requests that are refused; and a preview from a create request's schedule members that gives
// the runs of the task created from them.
#include "CalendarTestZone.h"
#include "LogFileReader.h"
#include "RegistryFixture.h"

#include "common/Clock.h"
#include "insight/InsightReplies.h"
#include "message/JSONFormatter.h"
#include "store/KsTask.h"
#include "store/TaskHistory.h"

#include <gtest/gtest.h>

namespace {

using namespace KsInsight;
using KsStore::HistoryEntry;
using KsStore::HistoryEvent;

constexpr uint32_t kNow = 1800000000;  // 2027-01-15 17:00:00 local

class FixedClock final : public Keelwork::Clock {
public:
    FixedClock() { install(this); }
    ~FixedClock() override { install(nullptr); }
    uint32_t now() const override { return kNow; }
};

// The engine's state as a test sets it.
class StateOnHand final : public StateSource {
public:
    std::pair<KsState::EngineState, KsState::TaskState> read(const std::wstring& name) const override
    {
        return {engine, name == taskName ? task : KsState::TaskState{}};
    }
    KsState::EngineState engine;
    std::wstring taskName;
    KsState::TaskState task;
};

class InsightReplies : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        store(L"hourly", KS_TASK_SCHEDULED, kNow + 3600, 3600);
        store(L"logon", KS_TASK_LOGON, 1, 3);
    }

    static void store(const wchar_t* name, uint32_t type, uint32_t nextRun, uint32_t freq,
                      void (*edit)(CKsTask&) = nullptr)
    {
        CKsTask task(name);
        task.dwTaskType = type;
        task.pwszTaskTrigger = KsStore::duplicateString(L"C:\\Program Files\\Kestrel\\scan.exe");
        task.dwNextRun = nextRun;
        task.dwDefaultFreq = freq;
        if (edit)
            edit(task);
        ASSERT_TRUE(task.Write());
    }

    KsCalendarTest::PinnedZone m_zone{KsCalendarTest::kJapan.tz};
};

std::wstring runsOf(const std::wstring& reply)
{
    Tessel::JSONFormatter parsed;
    std::vector<std::shared_ptr<Tessel::JSONFormatter>> runs;
    EXPECT_TRUE(parsed.parse(reply) && parsed.getObjectArray(L"runs", runs)) << reply;
    std::wstring text;
    for (const auto& run : runs)
        text += run->serialize();
    return runs.size() == 10 ? text : L"";
}

struct BadRequest {
    std::wstring (*reply)(const std::wstring&);
    const wchar_t* payload;
    const wchar_t* expected;
};

std::wstring explain(const std::wstring& payload) { return explainReply(payload, StateOnHand{}, kNow); }
std::wstring history(const std::wstring& payload) { return historyReply(payload); }
std::wstring preview(const std::wstring& payload) { return previewReply(payload, kNow); }
std::wstring runNow(const std::wstring& payload)
{
    return runNowReply(payload, [](const std::wstring& name) {
        ADD_FAILURE() << "asked the engine to run " << testing::PrintToString(name);
        return RunNowOutcome::asked;
    });
}

#define NOT_OBJECT L"{\"status\":false,\"error\":\"The request is not a JSON object.\"}"
#define NO_NAME L"\"status\":false,\"error\":\"The request must name a task: \\\"name\\\" must be a non-empty string.\"}"
#define ASSUME L"{\"name\":\"hourly\",\"status\":false,\"error\":\"\\\"assume\\\" may hold only \\\"battery\\\", " \
               L"\\\"metered\\\", \\\"fullScreen\\\", \\\"connectedStandby\\\" and \\\"userIdle\\\", each true or false.\"}"
#define HISTORY_COUNT L"{\"name\":\"hourly\",\"status\":false,\"error\":\"\\\"count\\\" must be a positive whole number.\"}"
#define PREVIEW_COUNT \
    L"{\"name\":\"hourly\",\"status\":false,\"error\":\"\\\"count\\\" must be a whole number from 1 to 100.\"}"
#define UNKNOWN(name) L"{\"name\":\"" name L"\",\"status\":false,\"error\":\"No task of that name is stored.\"}"
// A name no task can have; before it is refused, its cut form names the task "say \"hi\" now".
#define WITH_NUL L"say \\\"hi\\\" now\\u0000zzz"
#define NUL_NAME \
    L"{\"name\":\"" WITH_NUL L"\",\"status\":false,\"error\":\"A task name must not contain a NUL character.\"}"
#define X16 L"xxxxxxxxxxxxxxxx"
#define X128 X16 X16 X16 X16 X16 X16 X16 X16
#define NAME_OR_SCHEDULE L"\"status\":false,\"error\":\"The request must name a task or give a schedule, not both.\"}"

const BadRequest kBadRequests[] = {
    {explain, L"not json", NOT_OBJECT},
    {history, L"[1]", NOT_OBJECT},
    {preview, L"", NOT_OBJECT},
    {explain, L"{}", L"{" NO_NAME},
    {explain, L"{\"name\":7}", L"{" NO_NAME},
    {history, L"{\"name\":\"\"}", L"{\"name\":\"\"," NO_NAME},
    {explain, L"{\"name\":\"gh\\\"ost\"}", UNKNOWN(L"gh\\\"ost")},
    {history, L"{\"name\":\"ghost\"}", UNKNOWN(L"ghost")},
    {preview, L"{\"name\":\"ghost\"}", UNKNOWN(L"ghost")},
    {explain, L"{\"name\":\"" WITH_NUL L"\"}", NUL_NAME},
    {history, L"{\"name\":\"" WITH_NUL L"\"}", NUL_NAME},
    {preview, L"{\"name\":\"" WITH_NUL L"\"}", NUL_NAME},
    {runNow, L"{\"name\":\"" WITH_NUL L"\"}", NUL_NAME},
    {explain, L"{\"name\":\"" X128 L"\"}",
     L"{\"name\":\"" X128 L"\",\"status\":false,\"error\":\"A task name may have at most 127 characters.\"}"},
    {explain, L"{\"name\":\"a\\\\b\"}", UNKNOWN(L"a\\\\b")},
    {explain, L"{\"name\":\"hourly\",\"ifDueNow\":\"yes\"}",
     L"{\"name\":\"hourly\",\"status\":false,\"error\":\"\\\"ifDueNow\\\" must be true or false.\"}"},
    {explain, L"{\"name\":\"hourly\",\"assume\":true}", ASSUME},
    {explain, L"{\"name\":\"hourly\",\"assume\":{\"battery\":1}}", ASSUME},
    {explain, L"{\"name\":\"hourly\",\"assume\":{\"battery\":true,\"sunny\":true}}", ASSUME},
    {history, L"{\"name\":\"hourly\",\"count\":0}", HISTORY_COUNT},
    {history, L"{\"name\":\"hourly\",\"count\":-1}", HISTORY_COUNT},
    {history, L"{\"name\":\"hourly\",\"count\":2.5}", HISTORY_COUNT},
    {history, L"{\"name\":\"hourly\",\"count\":\"5\"}", HISTORY_COUNT},
    {preview, L"{\"name\":\"hourly\",\"count\":0}", PREVIEW_COUNT},
    {preview, L"{\"name\":\"hourly\",\"count\":101}", PREVIEW_COUNT},
    {preview, L"{\"count\":3}", L"{" NAME_OR_SCHEDULE},
    {preview, L"{\"name\":\"hourly\",\"hour\":3}", L"{\"name\":\"hourly\"," NAME_OR_SCHEDULE},
    {preview, L"{\"hour\":\"x\"}", L"{\"status\":false,\"error\":\"\\\"hour\\\" is not a valid schedule value.\"}"},
    {preview, L"{\"hour\":-3}", L"{\"status\":false,\"error\":\"\\\"hour\\\" is not a valid schedule value.\"}"},
    {preview, L"{\"interval\":\"daily\"}",
     L"{\"status\":false,\"error\":\"\\\"interval\\\" is not a valid schedule value.\"}"},
    {preview, L"{\"daysOfWeek\":true}",
     L"{\"status\":false,\"error\":\"\\\"daysOfWeek\\\" is not a valid schedule value.\"}"},
    {preview, L"{\"defaultFreq\":60,\"minute\":5}",
     L"{\"status\":false,\"error\":\"A schedule is either periodic (\\\"defaultFreq\\\") or a calendar, not both.\"}"},
};

TEST_F(InsightReplies, RefuseWhatTheyCannotAnswerWithASentenceAndAWarning)
{
    store(L"say \"hi\" now", KS_TASK_SCHEDULED, kNow + 3600, 3600);
    store(std::wstring(127, L'x').c_str(), KS_TASK_SCHEDULED, kNow + 3600, 3600);  // X128 was cut to it
    kstest::LogCapture log;
    for (const BadRequest& row : kBadRequests)
        EXPECT_EQ(row.reply(row.payload), row.expected) << row.payload;
    EXPECT_TRUE(log.contains(L"Refused TaskScheduler.Task.History for task 'ghost': No task of that name is stored.") &&
                log.contains(L"Refused TaskScheduler.Task.Explain: The request is not a JSON object."))
        << kstest::narrowForReport(log.text());
    EXPECT_TRUE(log.contains(L"Refused TaskScheduler.Task.Explain for task 'say \"hi\" now': A task name must not "
                             L"contain a NUL character."));
    EXPECT_FALSE(keyExists((std::wstring(KsStore::kSchedulerKeyPath) + L"\\ghost").c_str()));
    EXPECT_FALSE(keyExists(KsStore::kSchedulerHistoryKeyPath)) << "nothing is written for a refused request";
}

TEST_F(InsightReplies, HistoryTellsEachEventNewestFirst)
{
    const HistoryEntry entries[] = {
        {kNow - 500, HistoryEvent::launched, true, 0, 7, 1200, 0, 0, 0, 310, 64u << 20},
        {kNow - 400, HistoryEvent::launched, false, 0, 0, 30000, 0, 0, 0},
        {kNow - 300, HistoryEvent::deferred, false, 0, 0, 0, 0, 900, 0},
        {kNow - 200, HistoryEvent::refused, false, 0, 0, 0, 10, 3600, 5},
        {kNow - 100, HistoryEvent::failed, false, 2, 0, 0, 9, 3600, 2},
        {kNow - 50, HistoryEvent::stopped, false, 0, 0, 2000, 1, 0, 0, 2100, std::nullopt},
    };
    for (const HistoryEntry& entry : entries)
        ASSERT_TRUE(KsStore::TaskHistory::append(L"hourly", entry));
    EXPECT_EQ(historyReply(std::wstring(L"{\"name\":\"Hourly\",\"count\":4}")),
              L"{\"name\":\"Hourly\",\"status\":true,\"entries\":["
              L"{\"time\":1799999950,\"timeLocal\":\"2027-01-15T16:59:10+09:00\",\"event\":\"stopped\","
              L"\"reason\":\"time limit\",\"cpuMs\":2100},"
              L"{\"time\":1799999900,\"timeLocal\":\"2027-01-15T16:58:20+09:00\",\"event\":\"failed\",\"result\":2},"
              L"{\"time\":1799999800,\"timeLocal\":\"2027-01-15T16:56:40+09:00\",\"event\":\"refused\","
              L"\"reason\":\"validation\",\"code\":10,\"delay\":3600,\"errorCode\":5},"
              L"{\"time\":1799999700,\"timeLocal\":\"2027-01-15T16:55:00+09:00\",\"event\":\"deferred\","
              L"\"reason\":\"battery\",\"code\":0,\"delay\":900,\"errorCode\":0}]}");
    EXPECT_NE(historyReply(std::wstring(L"{\"name\":\"hourly\",\"count\":1000}"))
                  .find(L"{\"time\":1799999500,\"timeLocal\":\"2027-01-15T16:51:40+09:00\",\"event\":\"launched\","
                        L"\"result\":0,\"exitCode\":7,\"durationMs\":1200,\"cpuMs\":310,\"peakMemoryBytes\":67108864}]}"),
              std::wstring::npos);
    // A damaged history reads as none.
    kstest::writeRaw(KsStore::kSchedulerHistoryKeyPath, L"logon", REG_BINARY, "damaged", 7);
    ASSERT_TRUE(KsStore::TaskHistory::read(L"logon").damaged);
    EXPECT_EQ(historyReply(std::wstring(L"{\"name\":\"logon\"}")), L"{\"name\":\"logon\",\"status\":true,\"entries\":[]}");
}

// The board's hold and deferral, the history's launch (the board lost it with a restart) and the
// module's answer to "what if it were due now".
TEST_F(InsightReplies, ExplainTellsTheVerdictAndWhatItRestsOn)
{
    ASSERT_TRUE(KsStore::TaskHistory::append(L"hourly", {kNow - 7200, HistoryEvent::launched, true, 0, 0, 800, 0, 0, 0, 420, 8192}));
    StateOnHand state;
    state.engine = {KsState::EnginePhase::running, KsState::EngineReason::none, kNow - 9000, 0};
    state.taskName = L"hourly";
    state.task.hold = {KsState::HoldReason::fullScreen, kNow - 60, kNow + 21540};
    state.task.lastDeferral = KsState::DeferralOutcome{kNow - 60, 1, 300, 0};
    ExplainRequest request{L"HOURLY", true, {}};
    EXPECT_EQ(explainReply(request, state, kNow, IfDueNow{false, L"battery", 0u, 300}),
              L"{\"name\":\"HOURLY\",\"status\":true,\"verdict\":\"held\",\"why\":\"Held since 16:59:00 because a "
              L"full-screen application runs; it runs at the latest at 22:59:00.\",\"nextRun\":1800003600,"
              L"\"nextRunLocal\":\"2027-01-15T18:00:00+09:00\",\"lane\":{\"maxRunTime\":0,\"background\":false,\"spread\":0},\"engine\":{\"phase\":\"running\",\"reason\":\"\","
              L"\"since\":1799991000,\"sinceLocal\":\"2027-01-15T14:30:00+09:00\",\"until\":0},\"hold\":{\"reason\":"
              L"\"full screen\",\"since\":1799999940,\"sinceLocal\":\"2027-01-15T16:59:00+09:00\",\"until\":"
              L"1800021540,\"untilLocal\":\"2027-01-15T22:59:00+09:00\"},\"lastLaunch\":{\"time\":1799992800,"
              L"\"timeLocal\":\"2027-01-15T15:00:00+09:00\",\"result\":0,\"exitCode\":0,\"durationMs\":800,\"cpuMs\":420,"
              L"\"peakMemoryBytes\":8192},"
              L"\"lastDeferral\":{\"time\":1799999940,\"timeLocal\":\"2027-01-15T16:59:00+09:00\",\"reason\":"
              L"\"metromode\",\"code\":1,\"delay\":300,\"errorCode\":0},\"ifDueNow\":{\"decision\":\"defer\","
              L"\"reason\":\"battery\",\"code\":0,\"delay\":300}}");
    EXPECT_EQ(explainReply(std::wstring(L"{\"name\":\"logon\"}"), state, kNow),
              L"{\"name\":\"logon\",\"status\":true,\"verdict\":\"occasion\",\"why\":\"It runs at every 3rd logon; 1 "
              L"has passed since it last ran, so it runs at the 2nd logon from now.\",\"occasion\":{\"kind\":\"logon\","
              L"\"every\":3,\"seen\":1},\"lane\":{\"maxRunTime\":0,\"background\":false,\"spread\":0},\"engine\":{\"phase\":\"running\",\"reason\":\"\",\"since\":1799991000,"
              L"\"sinceLocal\":\"2027-01-15T14:30:00+09:00\",\"until\":0}}");
    EXPECT_NE(explainReply(request, state, kNow, IfDueNow{true, L"", std::nullopt, 0})
                  .find(L",\"ifDueNow\":{\"decision\":\"run\"}}"),
              std::wstring::npos);

    const auto parsed = parseExplainRequest(L"{\"name\":\"hourly\",\"assume\":{\"battery\":true,\"userIdle\":false}}");
    ASSERT_TRUE(std::holds_alternative<ExplainRequest>(parsed));
    const ExplainRequest& asked = std::get<ExplainRequest>(parsed);
    EXPECT_TRUE(asked.wantsIfDueNow);
    EXPECT_EQ(asked.assume.battery, std::optional<bool>(true));
    EXPECT_EQ(asked.assume.userIdle, std::optional<bool>(false));
    EXPECT_FALSE(asked.assume.metered || asked.assume.fullScreen || asked.assume.connectedStandby);
}

TEST_F(InsightReplies, PreviewListsTheNextRunsOrTheOccasion)
{
    EXPECT_EQ(previewReply(std::wstring(L"{\"name\":\"hourly\",\"count\":2}"), kNow),
              L"{\"name\":\"hourly\",\"status\":true,\"runs\":[{\"time\":1800003600,\"local\":"
              L"\"2027-01-15T18:00:00+09:00\",\"note\":\"\"},{\"time\":1800007200,\"local\":"
              L"\"2027-01-15T19:00:00+09:00\",\"note\":\"\"}]}");
    EXPECT_EQ(previewReply(std::wstring(L"{\"defaultFreq\":\"60\",\"count\":1}"), kNow),
              L"{\"status\":true,\"runs\":[{\"time\":1800000060,\"local\":\"2027-01-15T17:01:00+09:00\",\"note\":"
              L"\"\"}]}");
    EXPECT_EQ(previewReply(std::wstring(L"{\"name\":\"logon\"}"), kNow),
              L"{\"name\":\"logon\",\"status\":true,\"runs\":[],\"occasion\":{\"kind\":\"logon\",\"every\":3,"
              L"\"seen\":1}}");
}

TEST_F(InsightReplies, PreviewOfScheduleMembersGivesTheRunsOfTheTaskTheyCreate)
{
    FixedClock clock;
    // Mondays and Fridays, every other week, at 03:30; storing it places its first run.
    store(L"biweekly", KS_TASK_CUSTOM, 0, 0, [](CKsTask& task) {
        task.dwDayOfWeekMask = 0x22;
        task.dwInterval = KS_INTERVAL_BIWEEKLY;
        task.dwHour = 3;
        task.dwMinute = 30;
    });
    const std::wstring byName = runsOf(previewReply(std::wstring(L"{\"name\":\"biweekly\",\"count\":10}"), kNow));
    EXPECT_FALSE(byName.empty());
    EXPECT_EQ(runsOf(previewReply(
                  std::wstring(L"{\"interval\":\"biweekly\",\"daysOfWeek\":\"26\",\"hour\":3,\"minute\":\"30\",\"count\":10}"),
                  kNow)),
              byName);
}

} // namespace
