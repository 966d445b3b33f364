// Explain never lies: a seeded, randomised driver moves the real engine through changing probe
// answers, task edits and runs now by both ways. Before each step it asks Explain over the board
// (with "ifDueNow" before the engine may act) and kstask's reader of the state key for every task;
// after the step it checks what the engine did against what they said. A failure names the seed
// and the step; KS_AGREEMENT_SEED and KS_AGREEMENT_STEPS choose another run for local exploration.
#include "AgreementReaders.h"
#include "EngineLoopFixture.h"

#include "KsTaskTool.h"

#include "engine/DueNowDecision.h"
#include "engine/RunningEngine.h"
#include "insight/InsightReplies.h"
#include "insight/StateSource.h"
#include "message/JSONFormatter.h"
#include "platform/ProbeServices.h"
#include "platform/SystemProbeServices.h"
#include "store/TaskMemory.h"
#include "store/TaskName.h"

#include <gtest/gtest.h>
#include <netlistmgr.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

namespace {

using namespace kstest;
using KsState::EnginePhase;

// Quotation marks, a backslash, characters outside the ANSI code page and outside the BMP.
const wchar_t* const kNames[] = {L"plain",          L"say \"hi\" now", L"back\\slash", L"caf\u00e9 cr\u00e8me",
                                 L"\u65e5\u672c\u8a9e", L"smile \U0001F600", L"Quoted 'single'"};

// Each kind of task and trigger the driver stores; the event task signals an event the test made.
std::wstring taskEventName()
{
    return uniqueEventName(L"ks-agree-task-");
}
const std::vector<TestTask>& kinds()
{
    static const std::vector<TestTask> all = {
        {.freq = 3600},
        {.batteryWise = 1},
        {.wise = KS_METERED_ACCESS_WISE},
        {.runWhenIdle = 1},
        {.priority = KS_PRIORITY_HIGHEST},
        {.type = KS_TASK_CUSTOM, .nextRun = 0, .freq = 86400, .dayOfWeekMask = 0x7F, .hour = 3, .minute = 30},
        {.trigType = KS_TRIGGER_EVENT, .trigger = taskEventName(), .params = L""},
    };
    return all;
}


// What was said of one task before a step.
struct Said {
    std::wstring verdict;
    bool due = false;  // due now, whatever the verdict puts first (a suspension)
    std::optional<Keelwork::engine::DueNowAnswer> ifDueNow;  // asked only before the engine may act
    KsState::TaskState state;
};

enum class Op { create, modify, toggleEnabled, remove, probe, restartPending, advance, pump, runNow, gateRun };
constexpr std::pair<Op, int> kOpWeights[] = {{Op::create, 12}, {Op::modify, 8},  {Op::toggleEnabled, 6},
                                             {Op::remove, 4},  {Op::probe, 18},  {Op::restartPending, 1},
                                             {Op::advance, 14}, {Op::pump, 24},  {Op::runNow, 12},
                                             {Op::gateRun, 1}};

class ExplainAgreement : public EngineLoop {
protected:
    void SetUp() override
    {
        EngineLoop::SetUp();
        KsPlatform::installPowerStatus(&m_power);
        KsPlatform::installNetworkCost(&m_cost);
        m_system.emplace();  // made after the stand-ins are installed, so that it asks them
        if (const char* seed = std::getenv("KS_AGREEMENT_SEED"))
            m_seed = static_cast<unsigned>(std::strtoul(seed, nullptr, 10));
        if (const char* steps = std::getenv("KS_AGREEMENT_STEPS"))
            m_steps = std::max(1, std::atoi(steps));
        m_random.seed(m_seed);
    }
    void TearDown() override
    {
        EngineLoop::TearDown();
        m_system.reset();
        KsPlatform::installPowerStatus(nullptr);
        KsPlatform::installNetworkCost(nullptr);
    }

    std::string where() const
    {
        return "seed " + std::to_string(m_seed) + ", step " + std::to_string(m_step) + " (" + m_what + ")";
    }
    unsigned pick(unsigned count) { return std::uniform_int_distribution<unsigned>(0, count - 1)(m_random); }
    bool coin() { return pick(2) == 0; }

    std::wstring busExplain(const std::wstring& name) const
    {
        return KsInsight::explainReply(KsInsight::ExplainRequest{name, false, {}}, KsInsight::BoardStateSource(), m_clock.value);
    }

    // What the bus and the tool say of every stored task now; the tool reads the state key, which
    // the engine mirrors once it has no message in hand, so both are asked again (bounded) until
    // they agree. Disagreeing after the bound is a failure. "ifDueNow" is then asked, as the
    // module asks it, of the tasks the engine may start in the step: the due ones and `target`,
    // asked to run now.
    std::map<std::wstring, Said> ask(bool withIfDueNow, const std::wstring& target)
    {
        std::map<std::wstring, Said> said;
        // One task in full each step: the whole reply, sentence and times included.
        const std::wstring full =
            m_stored.empty() ? L"" : std::next(m_stored.begin(), pick(static_cast<unsigned>(m_stored.size())))->first;
        std::map<std::wstring, std::wstring> listed;
        const auto readersAgree = [&] {
            for (const auto& [name, kind] : m_stored)
                said[name] = {member(busExplain(name), L"verdict"), false, std::nullopt, boardState(name)};
            listed = listedVerdicts(m_clock.value);
            for (const auto& [name, one] : said) {
                if (listed[KsStore::TaskIdentity(name).key()] != one.verdict)
                    return false;
            }
            return full.empty() ||
                   KsTaskTool::runTool({L"explain", L"--json", full}, m_clock.value).out == busExplain(full) + L"\n";
        };
        if (!awaitSoon(readersAgree)) {
            ADD_FAILURE() << "the bus and kstask disagree at " << where();
            for (const auto& [name, one] : said)
                std::printf("  %s: bus %s, kstask %s\n", narrow(name).c_str(), narrow(one.verdict).c_str(),
                            narrow(listed[KsStore::TaskIdentity(name).key()]).c_str());
        }
        // What the answers kept in memory is what the registry holds: they are the same read again.
        const auto replies = [this] {
            std::wstring text;
            for (const auto& [name, kind] : m_stored)
                text += busExplain(name) + KsInsight::historyReply(KsInsight::HistoryRequest{name, 50}) +
                        KsInsight::previewReply(KsInsight::PreviewRequest{name, std::nullopt, 3}, m_clock.value) + L"\n";
            return text;
        };
        const std::wstring kept = replies();
        KsStore::TaskMemory::changedAll();
        EXPECT_EQ(narrow(kept), narrow(replies())) << "memory and registry differ at " << where();
        for (auto& [name, one] : said) {
            // "suspended" only while the engine runs nothing.
            EXPECT_FALSE(one.verdict == L"suspended" && anyRunning()) << narrow(name) << " suspended while a task runs, at " << where();
            EXPECT_NE(one.verdict, L"running") << narrow(name) << " runs with no program running, at " << where();
            CKsTask stored(name.c_str());
            one.due = one.verdict == L"due" || one.verdict == L"held" ||
                      (one.verdict == L"suspended" && (one.state.queued || (stored.Read() && stored.dwNextRun <= m_clock.value)));
        }
        if (!withIfDueNow)
            return said;
        // "ifDueNow" costs the probes' round trips: it is asked of the task asked to run and of
        // one due task drawn at random, which over the run reaches every kind at the head.
        std::vector<std::wstring> due;
        for (const auto& [name, one] : said)
            if (one.due && name != target)
                due.push_back(name);
        std::vector<std::wstring> asked;
        if (said.count(target))
            asked.push_back(target);
        if (!due.empty())
            asked.push_back(due[pick(static_cast<unsigned>(due.size()))]);
        for (const std::wstring& name : asked) {
            Said& one = said[name];
            const auto answer = Keelwork::engine::decideIfDueNow(name, *m_system, Keelwork::engine::runningEngineView());
            EXPECT_TRUE(answer) << "no ifDueNow for a stored task at " << where();
            if (answer)
                one.ifDueNow = ifDueNowOf(KsInsight::explainReply(
                    KsInsight::ExplainRequest{name, true, {}}, KsInsight::BoardStateSource(), m_clock.value,
                    KsInsight::IfDueNow{answer->run, answer->reason, answer->code, answer->delay}));
        }
        return said;
    }

    static std::wstring escaped(const std::wstring& name)
    {
        std::wstring out;
        for (wchar_t c : name) {
            if (c == L'"' || c == L'\\')
                out += L'\\';
            out += c;
        }
        return out;
    }
    std::string stepLogTail() const
    {
        const std::wstring text = m_stepLog ? m_stepLog->text() : L"";
        return narrow(text.substr(text.size() > 8000 ? text.size() - 8000 : 0));
    }
    static std::string narrow(const std::wstring& text) { return narrowForReport(text); }
    static bool anyRunning()
    {
        auto board = KsState::currentEngineStateBoard();
        for (const auto& [name, state] : board->readAll().second)
            if (state.running)
                return true;
        return false;
    }

    // The engine's timer is the test's to fire: cancelled after each step, so that it never
    // brings a pump between two steps by the real clock.
    static void cancelTimer()
    {
        Keelwork::unique_handle timer(::OpenWaitableTimerW(TIMER_MODIFY_STATE, FALSE, Keelwork::engine::kWaitableTimerName));
        if (timer)
            ::CancelWaitableTimer(timer.get());
    }

    // Waits (bounded) until the engine is done with what it was brought to look at: the queue
    // ran empty or stopped at a hold, updates being installed or connected standby made it wait
    // (a run now kept for the standby's end included),
    // or it takes no messages.
    // `standbyEnds`: finding connected standby ends it too (not when it began in standby).
    void awaitEngineDone(const LogCapture& log, bool standbyEnds = true)
    {
        const bool done = awaitSoon([&log, standbyEnds] {
            if (standbyEnds && engineState().phase == EnginePhase::connectedStandby)
                return true;
            const std::wstring text = log.text();
            for (const wchar_t* end : {L"Not triggering the task", L"There is nothing in the Q",
                                       L"There are no more items in the Q", L"WaitTimeout:", L"CS is ON, Set a large timer",
                                       L"Successfully set waitable timer. Seconds:604800",
                                       L"Schedule task installing updates. Setting timer", L"SUSPENDED. Not processing",
                                       L"Run-now request kept until"})
                if (text.find(end) != std::wstring::npos)
                    return true;
            return false;
        });
        EXPECT_TRUE(done) << "the engine did not finish at " << where() << ": " << narrow(log.text());
        send(WM_NULL);  // the engine has set its timer after the line it logged last
        cancelTimer();
    }

    // A name that is no task's (a backslash) is refused by the store and by Explain alike.
    void storeKind(const std::wstring& name, unsigned kind, uint32_t nextRun)
    {
        if (!KsStore::TaskIdentity(name).valid()) {
            EXPECT_NE(busExplain(name).find(L"\"status\":false"), std::wstring::npos) << where();
            EXPECT_EQ(KsTaskTool::runTool({L"explain", L"--json", name}, m_clock.value).out, busExplain(name) + L"\n");
            return;
        }
        TestTask task = kinds()[kind];
        task.name = name;
        if (task.type != KS_TASK_CUSTOM)
            task.nextRun = nextRun;
        storeTask(task);
        m_stored[name] = kind;
    }

    uint32_t someNextRun() { return coin() ? m_clock.value - pick(600) : m_clock.value + 60 + pick(7200); }

    void setProbe(unsigned which, bool on)
    {
        switch (which) {
        case 0: m_power.onBattery = on; break;
        case 1: m_cost.metered = on; break;
        case 2: answerFullScreen(on); break;
        case 3: m_idle.reset(on ? ::CreateMutexW(nullptr, FALSE, names::kIdleMutex) : nullptr); break;
        case 4:
            m_monitors.answer(names::kConnectedStandbyRequest,
                              on ? names::kConnectedStandbyOn : L"SystemMonitor.ConnectedStandby.Off");
            break;
        default:
            m_updates.reset(on ? ::CreateEventW(nullptr, TRUE, FALSE, (std::wstring(names::kUpdateEventPrefix) + L"default").c_str())
                               : nullptr);
            setDword((std::wstring(names::kUpdateManagerKey) + L"\\Update\\pkg_default").c_str(), names::kUpdatePhaseValue,
                     on ? 3 : 0);
        }
        m_probes[which] = on;
    }

    // Stops the engine and starts it again, with or without a restart pending.
    void restart(bool pending)
    {
        stop();
        setDword(L"SOFTWARE\\Kestrel\\Volatile\\ZARN", L"IsRestartPending", pending ? 1 : 0);
        m_restartPending = pending;
        LogCapture log;
        start();
        kick();
        awaitEngineDone(log);
    }

    // What the engine did against what was said before: a due task that ifDueNow said defers is
    // not launched; one it said runs is, unless the queue stopped at another task's hold or the
    // engine runs nothing; a deferral carries ifDueNow's code; "held" falls only on due tasks
    // that did not start; a suspended engine launched nothing.
    void checkAgainst(const std::map<std::wstring, Said>& before, const std::wstring& askedToRun,
                      const std::wstring& edited = L"")
    {
        std::set<std::wstring> held;
        const bool runsTasks = engineState().phase == EnginePhase::running;
        for (const auto& [name, said] : before)
            if (boardState(name).hold.reason != KsState::HoldReason::none)
                held.insert(name);
        for (const auto& [name, said] : before) {
            if (name == edited)
                continue;
            const bool anotherHold = held.size() > held.count(name);
            const KsState::TaskState after = boardState(name);
            const bool launched = after.lastLaunch != said.state.lastLaunch;
            const bool due = said.due || (name == askedToRun && said.verdict != L"disabled");
            const std::string at = narrow(name) + " (" + narrow(said.verdict) + ") at " + where();
            EXPECT_FALSE(said.verdict == L"suspended" && launched && !runsTasks) << at << ": launched while suspended";
            EXPECT_TRUE(after.hold.reason == KsState::HoldReason::none || (due && !launched)) << at << ": held, but not due or launched\n" << stepLogTail();
            EXPECT_TRUE(due || !launched) << at << ": launched, though not due\n" << stepLogTail();
            if (!due || !said.ifDueNow)
                continue;
            if (!said.ifDueNow->run) {
                EXPECT_FALSE(launched) << at << ": launched though ifDueNow said defer ("
                                       << narrow(said.ifDueNow->reason) << ")\n" << stepLogTail();
                if (said.ifDueNow->code && after.lastDeferral != said.state.lastDeferral) {
                    EXPECT_EQ(after.lastDeferral->code, *said.ifDueNow->code) << at;
                }
            } else if (runsTasks && !anotherHold) {
                EXPECT_TRUE(launched) << at << ": not launched though ifDueNow said run\n" << stepLogTail();
            }
        }
    }

    // Tells the engine the store changed, as task management does after each edit, and checks
    // what it then did.
    // A pump without an edit in connected standby is the engine's timer instead.
    void lookAgain(const std::map<std::wstring, Said>& before, const std::wstring& edited)
    {
        LogCapture log;
        const bool inStandby = engineState().phase == EnginePhase::connectedStandby;
        const bool timer = edited.empty() && inStandby;
        if (timer) {
            fireTimer();
        } else {
            signalNewTask();
            EXPECT_TRUE(awaitSoon([&log] { return log.contains(L"Finished looking at all items in the registry"); }))
                << "no refresh at " << where();
        }
        awaitEngineDone(log, !inStandby);
        checkAgainst(before, L"", edited);
    }

    // The gate task runs, alone: "running" by both readers while its program runs, not after it
    // ended. Skipped while another task is due, which would run behind it.
    void gateRun(const std::map<std::wstring, Said>& before)
    {
        for (const auto& [name, said] : before) {
            if (said.verdict == L"due" || said.verdict == L"held")
                return;
        }
        GateTask gate;
        storeTask({.name = L"gate", .params = gate.params(), .nextRun = m_clock.value + 86400});
        lookAgain({}, L"gate");
        const auto ifDueNow = Keelwork::engine::decideIfDueNow(L"gate", *m_system, Keelwork::engine::runningEngineView());
        if (!ifDueNow || !ifDueNow->run || engineState().phase != EnginePhase::running || anyHold()) {
            CKsTask(L"gate").Delete();
            return;
        }
        ASSERT_EQ(Keelwork::engine::askRunningEngineToRunNow(L"gate"), KsState::RunNowOutcome::asked) << where();
        ASSERT_TRUE(gate.runs()) << "the gate did not run at " << where();
        EXPECT_EQ(member(busExplain(L"gate"), L"verdict"), L"running") << where();
        EXPECT_TRUE(awaitTrue([&] { return member(KsTaskTool::runTool({L"explain", L"--json", L"gate"}, m_clock.value).out,
                                                  L"verdict") == L"running"; }))
            << "kstask does not say running at " << where();
        // The queue goes on after the gate's program ends: its end is logged after the release.
        LogCapture afterRelease;
        gate.release();
        awaitEngineDone(afterRelease);
        EXPECT_TRUE(awaitSoon([] { return !anyRunning(); })) << where();
        EXPECT_TRUE(awaitTrue([] { return !taskState(L"gate").running; })) << where();
        EXPECT_NE(member(busExplain(L"gate"), L"verdict"), L"running") << where();
        CKsTask(L"gate").Delete();
    }
    static bool anyHold()
    {
        for (const auto& [name, state] : KsState::currentEngineStateBoard()->readAll().second)
            if (state.hold.reason != KsState::HoldReason::none || state.queued)
                return true;
        return false;
    }

    Op drawOp()
    {
        int total = 0;
        for (const auto& [op, weight] : kOpWeights)
            total += weight;
        int draw = static_cast<int>(pick(static_cast<unsigned>(total)));
        for (const auto& [op, weight] : kOpWeights)
            if ((draw -= weight) < 0)
                return op;
        return Op::pump;
    }

    void step()
    {
        m_stepLog.emplace();
        const Op op = drawOp();
        const bool engineMayAct = op != Op::probe && op != Op::advance && op != Op::restartPending && op != Op::gateRun;
        const std::wstring some = kNames[pick(std::size(kNames))];
        // A second on before the engine may act: a launch in this step carries a time no
        // earlier launch has, so a changed last launch tells it.
        if (engineMayAct)
            ++m_clock.value;
        const std::map<std::wstring, Said> before = ask(engineMayAct, op == Op::runNow ? some : L"");
        const bool stored = m_stored.count(some) != 0;
        std::wstringstream what;
        switch (op) {
        case Op::create:
        case Op::modify: {
            const unsigned kind = pick(static_cast<unsigned>(kinds().size()));
            what << (stored ? L"store again " : L"create ") << some << L" as kind " << kind;
            storeKind(some, kind, someNextRun());
            m_what = narrow(what.str());
            lookAgain(before, some);
            break;
        }
        case Op::toggleEnabled:
            if (stored) {
                CKsTask task(some.c_str());
                const bool disable = before.at(some).verdict != L"disabled";
                what << (disable ? L"disable " : L"enable ") << some;
                EXPECT_TRUE(task.Read() && (disable ? task.Disable() : task.Enable())) << where();
                m_what = narrow(what.str());
                lookAgain(before, some);
            }
            break;
        case Op::remove:
            if (stored) {
                what << L"delete " << some;
                CKsTask task(some.c_str());
                EXPECT_TRUE(task.Read() && task.Delete()) << where();
                m_stored.erase(some);
                m_what = narrow(what.str());
                lookAgain(before, some);
            }
            break;
        case Op::probe: {
            const unsigned which = pick(6);
            what << L"probe " << which << (m_probes[which] ? L" off" : L" on");
            setProbe(which, !m_probes[which]);
            break;
        }
        case Op::restartPending:
            what << L"restart, pending " << !m_restartPending;
            restart(!m_restartPending);
            break;
        case Op::advance: {
            const uint32_t by = pick(5400);
            what << L"clock +" << by;
            m_clock.value += by;
            break;
        }
        case Op::pump: {
            what << L"pump";
            m_what = narrow(what.str());
            lookAgain(before, L"");
            break;
        }
        case Op::runNow: {
            if (engineState().phase != EnginePhase::running)
                break;
            const bool bus = coin();
            what << L"run now " << some << (bus ? L" over the bus" : L" by kstask");
            m_what = narrow(what.str());
            const bool accepted = stored && before.at(some).verdict != L"disabled";
            LogCapture log;
            const std::wstring reply =
                bus ? KsInsight::runNowReply(L"{\"name\":\"" + escaped(some) + L"\"}", Keelwork::engine::askRunningEngineToRunNow)
                    : KsTaskTool::runTool({L"run", some, L"--json"}, m_clock.value).out;
            EXPECT_EQ(reply.find(L"\"status\":true") != std::wstring::npos, accepted) << narrow(reply) << " at " << where();
            if (accepted) {
                awaitEngineDone(log);
                checkAgainst(before, some);
            }
            break;
        }
        case Op::gateRun:
            what << L"gate run";
            m_what = narrow(what.str());
            gateRun(before);
            break;
        }
        m_what = narrow(what.str());
    }

    std::optional<LogCapture> m_stepLog;  // what the engine logged in this step, for a failure's report
    TestClock m_clock;
    PowerStandIn m_power;
    NetworkCostStandIn m_cost;
    std::optional<KsPlatform::SystemProbeServices> m_system;
    Keelwork::unique_handle m_idle;
    Keelwork::unique_event m_updates;
    Keelwork::unique_event m_taskEvent{::CreateEventW(nullptr, FALSE, FALSE, taskEventName().c_str())};
    bool m_probes[6] = {};
    bool m_restartPending = false;
    std::map<std::wstring, unsigned> m_stored;  // name: its kind
    unsigned m_seed = 26;
    int m_steps = 2000;
    int m_step = 0;
    std::string m_what;
    std::mt19937 m_random;
};

TEST_F(ExplainAgreement, ExplainAndKstaskSayWhatTheEngineDoes)
{
    start();
    kick();
    const auto began = std::chrono::steady_clock::now();
    for (m_step = 0; m_step < m_steps && !HasFailure(); ++m_step)
        step();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
    std::printf("agreement: seed %u, %d steps in %lld ms\n", m_seed, m_step, static_cast<long long>(took.count()));
}


} // namespace
