// Benchmarks of the running engine thread: how late it launches a task after the task's due time,
// against a raw waitable timer and CreateProcessW of the same program, and the CPU time it costs
// while nothing is due.
#include "EngineLoopBench.h"

#include "BenchSampleTask.h"
#include "BenchScratchHive.h"

#include "common/UniqueHandle.h"
#include "customization/CustomizationRegistry.h"
#include "engine/EngineNames.h"
#include "engine/SchedulerRegistry.h"
#include "engine/TSHandles.h"
#include "engine/TaskScheduler.h"
#include "execution/CreateProcessHelper.h"
#include "platform/PlatformNames.h"
#include "execution/TaskExecutionNames.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"
#include "management/TaskManagement.h"
#include "store/KsTask.h"

#include <cmath>
#include <cstdio>
#include <memory>

namespace names = KsPlatform::names;
namespace engine = Keelwork::engine;

namespace ksbench {

EngineThread::EngineThread()
{
    // A prompt start whether or not this is the first start since boot.
    const std::wstring overrides =
        std::wstring(Keelwork::customization::kBaseSettingsKey) + L"\\" + engine::kSettingsOverrideKey;
    const DWORD zero = 0;
    ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, overrides.c_str(), engine::kWinRestartWaitValue, REG_DWORD, &zero,
                      sizeof zero);
    answer(names::kConnectedStandbyRequest, L"SystemMonitor.ConnectedStandby.Off");
    answer(names::kNotificationStateRequest, L"SessionMonitor.NotificationState.Normal");
    m_handles.hExitEvent = m_exit.get();
    m_handles.hStartedEvent = m_started.get();
    m_thread.reset(::CreateThread(nullptr, 0, engine::CKsTaskScheduler::TSThread, &m_handles, 0, nullptr));
    // A thread that ends first could not start the engine.
    const HANDLE either[] = {m_started.get(), m_thread.get()};
    m_running = m_thread && ::WaitForMultipleObjects(2, either, FALSE, 120000) == WAIT_OBJECT_0;
}

EngineThread::~EngineThread()
{
    ::SetEvent(m_exit.get());
    // The exit event ends the loop and cuts a launch's wait short; the thread owns m_handles.
    if (m_thread)
        ::WaitForSingleObject(m_thread.get(), INFINITE);
}

void EngineThread::answer(const wchar_t* request, const wchar_t* reply)
{
    std::weak_ptr<Tessel::MessageBusClient> weak = m_monitors;
    std::wstring replyName = reply;
    m_monitors->subscribe(request, [weak, replyName](std::shared_ptr<Tessel::Message> m) -> uint32_t {
        auto self = weak.lock();
        return self && m ? self->publish(Tessel::Message::createReply(*m, replyName, L"Monitor", L"")) : 0;
    });
}

} // namespace ksbench

namespace {

using ksbench::EngineThread;


constexpr DWORD kBoundMs = 20000;
// Enough that the p99 is the second latest of the samples rather than the single latest, which
// one slow process start on a shared machine decides alone.
constexpr int kLatenessSamples = 60;
// Where in the second the engine hears of a sample's task: this many places, taken in turn.
constexpr int kSignalPlaces = 12;
// Time to store a sample's task before the engine is told of it.
constexpr double kStoreSeconds = 0.05;
constexpr DWORD kIdleWindowMs = 30000;
constexpr DWORD kSquattedWindowMs = 10000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;

uint64_t ticks(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Seconds since 1970 UTC to 100 ns: the clock the engine's whole seconds are cut from.
double preciseNowSeconds()
{
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    return static_cast<double>(ticks(now)) / 1e7 - static_cast<double>(kSecondsFrom1601To1970);
}

void sleepUntil(double when)
{
    const double left = when - preciseNowSeconds();
    if (left > 0)
        ::Sleep(static_cast<DWORD>(left * 1000));
}

double cpuMillis(const FILETIME& kernel, const FILETIME& user)
{
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e4;
}

double processCpuMillis()
{
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    return cpuMillis(kernel, user);
}

double threadCpuMillis(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(thread, &created, &exited, &kernel, &user);
    return cpuMillis(kernel, user);
}

// Waits (at most 30 s) until `thread` has used no CPU time for a second.
void awaitStill(HANDLE thread)
{
    for (int i = 0; i < 30; ++i) {
        const double before = threadCpuMillis(thread);
        ::Sleep(1000);
        if (threadCpuMillis(thread) == before)
            break;
    }
}

// squatter.exe (built beside the bench) holding every name the engine makes, open to all and
// signalled, from before the engine starts until the object is gone.
class Squatter {
public:
    Squatter()
    {
        const std::wstring program = ksbench::sampleTaskPath();
        std::wstring command = L"\"" + program.substr(0, program.find_last_of(L'\\')) + L"\\squatter.exe\" --ready " +
                               m_readyName + L" --quit " + m_quitName;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            m_process.adopt(info);
        const HANDLE either[] = {m_ready.get(), m_process.process.get()};
        m_holds = m_process.process && ::WaitForMultipleObjects(2, either, FALSE, kBoundMs) == WAIT_OBJECT_0;
    }
    ~Squatter()
    {
        ::SetEvent(m_quit.get());
        ::WaitForSingleObject(m_process.process.get(), kBoundMs);
    }
    bool holds() const { return m_holds; }

private:
    std::wstring m_readyName = L"ksbench-squatter-ready-" + std::to_wstring(::GetCurrentProcessId());
    std::wstring m_quitName = L"ksbench-squatter-quit-" + std::to_wstring(::GetCurrentProcessId());
    Keelwork::unique_event m_ready{::CreateEventW(nullptr, TRUE, FALSE, m_readyName.c_str())};
    Keelwork::unique_event m_quit{::CreateEventW(nullptr, TRUE, FALSE, m_quitName.c_str())};
    Keelwork::unique_process_information m_process;
    bool m_holds = false;
};

// The engine thread's share of one core while idle, its names taken first by another process;
// goal: under 1 %.
ksbench::Register squatted("engine.squatted", [] {
    ksbench::ScratchHive hive(L"Software\\KsBench\\EngineSquatted");
    ksbench::prepareLaunches(ksbench::sampleTaskPath());  // the bus library is found beside it
    const Squatter squatter;
    if (!squatter.holds()) {
        std::printf("bench engine.idle_cpu_squatted: squatter.exe did not take the names\n");
        return std::vector<std::pair<std::string, ksbench::Figure>>{};
    }
    EngineThread engineThread;
    if (!engineThread.running()) {
        std::printf("bench engine.idle_cpu_squatted: the engine did not start\n");
        return std::vector<std::pair<std::string, ksbench::Figure>>{};
    }
    awaitStill(engineThread.thread());
    const double startThread = threadCpuMillis(engineThread.thread());
    const double start = ksbench::nowMicros();
    ::Sleep(kSquattedWindowMs);
    const double windowMs = (ksbench::nowMicros() - start) / 1000.0;
    const double share = (threadCpuMillis(engineThread.thread()) - startThread) / windowMs * 100.0;
    return std::vector<std::pair<std::string, ksbench::Figure>>{{"engine.idle_cpu_squatted", {share, -1, "%"}}};
});

// An hourly task running `program` with `params`, due at `due`.
void storeTask(const wchar_t* name, const std::wstring& program, const std::wstring& params, uint32_t due)
{
    KSTASKINFO record = {};
    record.dwSize = sizeof record;
    record.dwTaskType = KS_TASK_SCHEDULED;
    record.dwTaskTrigType = KS_TRIGGER_PROCESS;
    record.pwszTaskTrigger = const_cast<wchar_t*>(program.c_str());
    record.pwszTaskParams = const_cast<wchar_t*>(params.c_str());
    record.dwNextRun = due;
    record.dwDefaultFreq = 3600;
    CKsTask task(name);
    task.Assign(&record);
    task.Write();
}

struct LatenessRun {
    std::wstring program;
    std::wstring params;
    Keelwork::unique_event ran;        // set by sample-task once it runs
    Keelwork::unique_event completed;  // set when the engine reports a launch finished
    Keelwork::unique_handle timer{::CreateWaitableTimerW(nullptr, FALSE, nullptr)};
};

// The launch moment is when sample-task sets `ran` (its --set-event), for the engine and the floor
// alike: the program is running then. NaN when nothing ran within the bound.
// `named`: the new task is told as task management in this process tells it, else by the named
// event as another process does.
double engineLateness(LatenessRun& run, int sample, bool named)
{
    // The engine's clock counts whole seconds, so where in the second it refreshes could matter:
    // the samples spread that moment over the second, the task due at the next second boundary.
    const double place = (sample % kSignalPlaces + 0.5) / kSignalPlaces;
    const double earliest = preciseNowSeconds() + kStoreSeconds;
    double signalAt = std::floor(earliest) + place;
    if (signalAt < earliest)
        signalAt += 1;
    const uint32_t due = static_cast<uint32_t>(signalAt) + 1;
    wchar_t name[16];
    _snwprintf(name, 16, L"late%02d", sample);
    storeTask(name, run.program, run.params, due);
    sleepUntil(signalAt);
    if (named) {
        Orbis::TaskManagement::signalEngine(name);
    } else {
        Keelwork::unique_event newTask(::OpenEventW(EVENT_MODIFY_STATE, FALSE, engine::kNewTaskEvent));
        ::SetEvent(newTask.get());
    }
    if (::WaitForSingleObject(run.ran.get(), kBoundMs) != WAIT_OBJECT_0)
        return std::nan("");
    const double late = preciseNowSeconds() - due;
    // The next sample's refresh must not queue behind this launch's wait for the program's end.
    ::WaitForSingleObject(run.completed.get(), kBoundMs);
    return late;
}

// The floor: a waitable timer due at the next half-second boundary, then CreateProcessW. Half
// seconds, so that it fits between two samples of the engine, each due at a whole second.
double rawLateness(LatenessRun& run)
{
    const double now = preciseNowSeconds();
    const double due = std::ceil((now + 0.1) * 2) / 2;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>((due + static_cast<double>(kSecondsFrom1601To1970)) * 1e7); // absolute, UTC
    ::SetWaitableTimer(run.timer.get(), &at, 0, nullptr, nullptr, FALSE);
    ::WaitForSingleObject(run.timer.get(), kBoundMs);
    std::wstring cmdline = CCPHelper::CommandLineOf(run.program.c_str(), run.params.c_str());
    const std::wstring folder = CCPHelper::WorkingDirectoryOf(run.program.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, cmdline.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &pi))
        return std::nan("");
    Keelwork::unique_process_information owned;
    owned.adopt(pi);
    if (::WaitForSingleObject(run.ran.get(), kBoundMs) != WAIT_OBJECT_0)
        return std::nan("");
    const double late = preciseNowSeconds() - due;
    ::WaitForSingleObject(owned.process.get(), kBoundMs);
    return late;
}

void prepareRun(LatenessRun& run)
{
    run.program = ksbench::sampleTaskPath();
    ksbench::prepareLaunches(run.program);
    const std::wstring ranName = L"Global\\ks-bench-ran-" + std::to_wstring(::GetCurrentProcessId());
    run.params = L"--set-event " + ranName;
    run.ran.reset(::CreateEventW(nullptr, FALSE, FALSE, ranName.c_str()));
    run.completed.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

// The floor against itself: two raw launches a sample, taken as the lateness cases take theirs.
// How far from 1 its ratios land from run to run is noise that every lateness ratio carries too.
ksbench::Register floorNoise(
    "engine.floor_noise",
    [] {
        LatenessRun run;
        prepareRun(run);
        std::vector<double> first, second;
        for (int i = 0; i < kLatenessSamples; ++i) {
            const double a = rawLateness(run);
            const double b = rawLateness(run);
            if (!std::isnan(a) && !std::isnan(b)) {
                first.push_back(a * 1000.0);
                second.push_back(b * 1000.0);
            }
        }
        using ksbench::percentile;
        return std::vector<std::pair<std::string, ksbench::Figure>>{
            {"engine.floor_noise.p50", {percentile(first, 50), percentile(second, 50), "ms"}},
            {"engine.floor_noise.p99", {percentile(first, 99), percentile(second, 99), "ms"}}};
    },
    true);

} // namespace

namespace ksbench {

std::vector<std::pair<std::string, Figure>> measureLateness(const std::string& prefix, bool named,
                                                            const std::function<void()>& started)
{
    LatenessRun run;
    prepareRun(run);
    std::vector<std::pair<std::string, ksbench::Figure>> out;
    EngineThread engineThread;
    const HANDLE completed = run.completed.get();
    engineThread.bus().subscribeFilter(std::wstring(KsExecution::names::kCompletedTopic) + L"\\..*",
                                       [completed](std::shared_ptr<Tessel::Message>) -> uint32_t {
                                           ::SetEvent(completed);
                                           return 0;
                                       });
    if (!engineThread.running()) {
        std::printf("bench %s: the engine did not start\n", prefix.c_str());
        return out;
    }
    // Its start-up (the gather of every task) is over before the first sample.
    awaitStill(engineThread.thread());
    if (started)
        started();
    std::vector<double> measured, raw;
    std::string notes;
    auto keep = [&](double late, std::vector<double>& into, const char* kind, int sample) {
        // A launch before its due time would show as a negative figure.
        if (std::isnan(late) || late < 0)
            notes += std::string(" ") + kind + " " + std::to_string(sample) + (std::isnan(late) ? " missed" : " early");
        if (!std::isnan(late))
            into.push_back(late * 1000.0);
    };
    for (int i = 0; i < kLatenessSamples; ++i) {
        keep(engineLateness(run, i, named), measured, "engine", i);
        keep(rawLateness(run), raw, "floor", i);
    }
    if (!notes.empty())
        std::printf("bench %s: samples not seen within %lu ms or early:%s\n", prefix.c_str(), kBoundMs, notes.c_str());
    out.emplace_back(prefix + ".p50", Figure{percentile(measured, 50), percentile(raw, 50), "ms"});
    out.emplace_back(prefix + ".p99", Figure{percentile(measured, 99), percentile(raw, 99), "ms"});
    return out;
}

} // namespace ksbench

namespace {

// Its own group, so that it can be run alone (`ksbench engine.lateness`); `engine` runs it too.
ksbench::Register lateness("engine.lateness", [] {
    ksbench::ScratchHive hive(L"Software\\KsBench\\EngineLoop");
    return ksbench::measureLateness("engine.lateness", false);
});

} // namespace

namespace ksbench {

IdleCpu measureIdleCpu(EngineThread& engineThread, DWORD windowMs)
{
    // Start-up work is not idling: the kick-start trigger at once and the logon pass the engine
    // makes 30 s after every start, each a walk over every task. Measure once the engine thread
    // has been still for a second after that.
    ::Sleep(engine::kLogonTimerMs + 1000);
    awaitStill(engineThread.thread());
    // Under Wine both counters advance in whole clock ticks (10 ms).
    const double startCpu = processCpuMillis();
    const double startThread = threadCpuMillis(engineThread.thread());
    const double start = nowMicros();
    ::Sleep(windowMs);
    return {processCpuMillis() - startCpu, threadCpuMillis(engineThread.thread()) - startThread,
            (nowMicros() - start) / 1000.0};
}

std::vector<std::pair<std::string, Figure>> engineIdleCpu()
{
    prepareLaunches(sampleTaskPath());
    EngineThread engineThread;
    if (!engineThread.running()) {
        std::printf("bench engine.idle_cpu: the engine did not start\n");
        return {};
    }
    const IdleCpu idle = measureIdleCpu(engineThread, kIdleWindowMs);
    return {{"engine.idle_cpu", {idle.processMs, -1, "ms/30s"}},
            {"engine.idle_cpu.core", {idle.processMs / idle.windowMs * 100.0, -1, "%"}},
            {"engine.idle_cpu.engine_thread", {idle.threadMs, -1, "ms/30s"}}};
}

} // namespace ksbench
