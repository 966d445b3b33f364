// CSingleTask::Launch end to end: tasks stored in the scratch registry, the probes substituted,
// the real sample-task.exe started, and the reports read where a subscriber sees them (the bus,
// the analytics transport, the registry).
#include "CapturingTransport.h"
#include "FakeSessions.h"
#include "KsOemResIds.h"
#include "MessageInbox.h"
#include "ProbeFakes.h"
#include "RegistryFixture.h"
#include "ResourceDllPaths.h"
#include "SampleTaskReport.h"
#include "TestClock.h"
#include "TestTask.h"
#include "TrustForTest.h"

#include "execution/ProcessRunning.h"
#include "execution/SingleTask.h"
#include "execution/TrustedFile.h"
#include "management/TaskManagement.h"
#include "messagebus/MessageBusClient.h"
#include "messagebus/MessageBusConstants.h"
#include "registry/RegKey.h"
#include "store/ProtectedValue.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <tuple>
#include <string>

namespace {

using kstest::storedDword;
using kstest::storeTask;
using kstest::uniqueEventName;
using Tessel::Message;

constexpr uint32_t kNow = 1800000000;

// Answers every file with one code, and holds nothing.
class FixedTrust final : public KsExecution::ITrustValidator {
public:
    DWORD validate(const wchar_t*, Keelwork::unique_handle&) override { return answer; }
    DWORD answer = 0;
};

class SingleTaskLaunch : public kstest::RegistryFixture {
public:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        setString(Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, kstest::testProgramFolder());
        m_listener = std::make_shared<Tessel::MessageBusClient>();
        ASSERT_EQ(m_listener->subscribeFilter(L"TaskScheduler\\.Task\\.(Deferred|Completed)\\..*",
                                              [this](std::shared_ptr<Message> m) { return m_inbox.deliver(m); }),
                  Tessel::MODULE_STATUS_SUCCESS);
    }

    void TearDown() override
    {
        m_listener.reset();
        RegistryFixture::TearDown();
    }

    SingleTaskServices services()
    {
        SingleTaskServices s;
        s.probes = &m_probeServices;
        s.trust = m_systemTrust ? nullptr : &m_trust;
        s.win32 = m_win32;
        s.isProcessRunning = [this](const wchar_t*, const wchar_t*) { return m_processRunning; };
        s.moduleNameFromClsid = [this](const wchar_t*, std::wstring& name, std::wstring& longName) {
            name = longName = L"scanner.exe";
            return m_moduleLookup;
        };
        return s;
    }

    DWORD launch(const wchar_t* name, DWORD* deleted = nullptr, DWORD finishWait = 10, HANDLE exitEvent = nullptr)
    {
        CSingleTask task(name, services());
        EXPECT_TRUE(task.Read());
        DWORD ignored = 7;
        return task.Launch(deleted ? deleted : &ignored, finishWait, exitEvent);
    }

    std::wstring nextMessage()
    {
        auto message = m_inbox.take();
        return message ? message->name() + L" " + message->payload() : L"(none)";
    }

    // The dimensions of the last analytics event of that name; empty when none was sent.
    static Tessel::Analytics::DimensionMap lastEvent(const std::wstring& name)
    {
        for (auto it = kstest::CapturingTransport::allSent.rbegin(); it != kstest::CapturingTransport::allSent.rend(); ++it)
            if (it->count(L"UniqueIdentifier") && it->at(L"UniqueIdentifier") == name)
                return *it;
        return {};
    }

    kstest::TestClock m_clock{kNow};
    kstest::FakeProbeServices m_fakes;
    KsPlatform::ProbeServices m_probeServices = m_fakes.services();
    FixedTrust m_trust;
    bool m_systemTrust = false;
    std::function<std::unique_ptr<CKsWin32APIBase>()> m_win32;
    bool m_processRunning = false;
    DWORD m_moduleLookup = 0;
    kstest::MessageInbox m_inbox;
    std::shared_ptr<Tessel::MessageBusClient> m_listener;
    kstest::CapturingRegistration m_analytics{kstest::CapturingTransport::factory(L"Capture", true), nullptr};
};

struct DeferralCase {
    const char* label;
    kstest::TestTask task;
    std::function<void(SingleTaskLaunch&)> arrange;
    DWORD result;
    std::wstring payload;       // after "{\"name\":\"<task>\","
    const wchar_t* reasonText;  // Hit.Label.1 of the analytics event
    uint32_t nextRun;           // "NextRun" afterwards
};

void PrintTo(const DeferralCase& c, std::ostream* os) { *os << c.label; }

class Deferral : public SingleTaskLaunch, public ::testing::WithParamInterface<DeferralCase> {};

TEST_P(Deferral, IsReportedOnTheBusAndInAnalyticsAndMovesTheNextRunAsItsStepSays)
{
    const DeferralCase& c = GetParam();
    storeTask(c.task);
    if (c.arrange)
        c.arrange(*this);
    EXPECT_EQ(launch(c.task.name.c_str()), c.result);
    EXPECT_EQ(nextMessage(), std::wstring(L"TaskScheduler.Task.Deferred.") + c.task.name + L" {\"name\":\"" +
                                 c.task.name + L"\"," + c.payload);
    auto event = lastEvent(L"TaskScheduler.Task.Deferred");
    EXPECT_EQ(event[L"Hit.Label.1"], c.reasonText);
    EXPECT_EQ(event[L"Event.Label"], c.task.name);
    EXPECT_EQ(storedDword(c.task.name.c_str(), L"NextRun"), c.nextRun);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Deferral,
    ::testing::Values(
        DeferralCase{"Battery", {.batteryWise = 1}, [](SingleTaskLaunch& t) { t.m_fakes.power.acLineStatus = 0; },
                     0, L"\"reason\":\"battery\",\"DeferredCode\":0,\"DeltaTime\":3600}", L"Battery Mode", kNow + 3600},
        DeferralCase{"MetroMode", {.wise = 2}, [](SingleTaskLaunch& t) { t.m_fakes.appVisibility.visibility = 2; },
                     0, L"\"reason\":\"metromode\",\"DeferredCode\":1,\"DeltaTime\":3600}", L"Metro Mode", kNow + 3600},
        DeferralCase{"Metered", {.wise = 1}, [](SingleTaskLaunch& t) { t.m_fakes.networkCost.cost = 2; },
                     0, L"\"reason\":\"metered\",\"DeferredCode\":2,\"DeltaTime\":3600}", L"Metered Mode", kNow + 3600},
        DeferralCase{"ScanModuleMissing", {.name = L"qsv_odsscheduledtask"},
                     [](SingleTaskLaunch& t) { t.m_moduleLookup = 2; }, 2,
                     L"\"reason\":\"error\",\"errorCode\":2,\"DeferredCode\":3,\"DeltaTime\":3600}", L"Update Get Failed",
                     kNow - 10},
        DeferralCase{"ScanRunning", {.name = L"qsv_odsscheduledtask"},
                     [](SingleTaskLaunch& t) { t.m_processRunning = true; }, 0,
                     L"\"reason\":\"error\",\"DeferredCode\":4,\"DeltaTime\":3600}", L"Update In Progress", kNow + 3600},
        DeferralCase{"UpdateWhileScanRuns", {.name = L"ksupdtsk"},
                     [](SingleTaskLaunch& t) { t.m_processRunning = true; }, 0,
                     L"\"reason\":\"ods\",\"DeferredCode\":5,\"DeltaTime\":3600}", L"ODS In Progress", kNow + 3600},
        DeferralCase{"Validation", {}, [](SingleTaskLaunch& t) { t.m_trust.answer = 5; }, 5,
                     L"\"reason\":\"validation\",\"errorCode\":5,\"DeferredCode\":10,\"DeltaTime\":3600}",
                     L"Validation Error", kNow + 3600},
        DeferralCase{"FailedStart", {.trigger = L"C:\\nowhere\\missing.exe"}, nullptr, ERROR_FILE_NOT_FOUND,
                     L"\"reason\":\"failedToLaunch\",\"errorCode\":2,\"DeferredCode\":9,\"DeltaTime\":3600}",
                     L"Failed to launch", kNow + 3600},
        // A reboot task's "NextRun" counts occasions: a failed start leaves it for the next boot.
        DeferralCase{"FailedStartAfterReboot",
                     {.type = KS_TASK_REBOOT, .trigger = L"C:\\nowhere\\missing.exe", .nextRun = 2}, nullptr,
                     ERROR_FILE_NOT_FOUND,
                     L"\"reason\":\"failedToLaunch\",\"errorCode\":2,\"DeferredCode\":8,\"DeltaTime\":3600}",
                     L"OnReboot Failed", 2}),
    [](const auto& info) { return std::string(info.param.label); });

const std::wstring kCompleted = L"TaskScheduler.Task.Completed.job {\"name\":\"job\"}";

bool contains(const std::wstring& text, const wchar_t* part)
{
    return text.find(part) != std::wstring::npos;
}

TEST_F(SingleTaskLaunch, MeteredTaskIsDeferredTheAllowedNumberOfTimesThenRunsAndTheCountResets)
{
    storeTask({.wise = 1});
    m_fakes.networkCost.cost = 2;
    for (uint32_t attempt = 1; attempt <= 5; ++attempt) {
        EXPECT_EQ(launch(L"job"), 0u);
        EXPECT_TRUE(contains(nextMessage(), L"\"DeferredCode\":2")) << attempt;
        EXPECT_EQ(storedDword(L"job", L"postponed"), attempt);
    }
    EXPECT_EQ(launch(L"job"), 0u);
    EXPECT_EQ(nextMessage(), kCompleted);
    EXPECT_EQ(storedDword(L"job", L"postponed"), 0u);
}

TEST_F(SingleTaskLaunch, UpdateTaskOnBatteryRunsOnceHeldBackForTheTimeoutDaysAndReportsItsFirstRun)
{
    storeTask({.name = L"ksupdtsk", .batteryWise = 1});
    m_fakes.power.acLineStatus = 0;
    EXPECT_EQ(launch(L"ksupdtsk"), 0u);
    EXPECT_TRUE(contains(nextMessage(), L"\"reason\":\"battery\""));
    EXPECT_EQ(storedDword(L"ksupdtsk", L"UpdRun"), kNow) << "the first hold-back is marked";

    m_clock.value = kNow + 3 * 86400 - 1;
    EXPECT_EQ(launch(L"ksupdtsk"), 0u);
    EXPECT_TRUE(contains(nextMessage(), L"\"reason\":\"battery\"")) << "a second short of three days";

    m_clock.value = kNow + 3 * 86400;
    EXPECT_EQ(launch(L"ksupdtsk"), 0u);
    EXPECT_EQ(nextMessage(), L"TaskScheduler.Task.Completed.ksupdtsk {\"name\":\"ksupdtsk\"}");
    EXPECT_EQ(storedDword(L"ksupdtsk", L"UpdRun"), 0u);
    EXPECT_EQ(storedDword(L"ksupdtsk", L"FirstUpdate"), 1u);
    EXPECT_EQ(lastEvent(L"TaskScheduler.Update.First")[L"Event.Label"], L"ksupdtsk");
}

// One task object launched twice: a setting removed in between counts as absent at the second
// launch, not as the value the first one read.
TEST_F(SingleTaskLaunch, SettingRemovedBetweenLaunchesFallsBackToItsDefault)
{
    const wchar_t* settings = L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler";
    storeTask({.batteryWise = 1});
    m_fakes.power.acLineStatus = 0;
    setDword(settings, L"battery_poll_interval", 100);
    CSingleTask task(L"job", services());
    ASSERT_TRUE(task.Read());
    DWORD deleted = 0;
    EXPECT_EQ(task.Launch(&deleted, 10, nullptr), 0u);
    EXPECT_TRUE(contains(nextMessage(), L"\"DeltaTime\":100}"));
    Keelwork::CRegKey key;
    ASSERT_EQ(key.open(HKEY_LOCAL_MACHINE, settings, KEY_SET_VALUE | KEY_WOW64_64KEY), ERROR_SUCCESS);
    ASSERT_EQ(key.deleteValue(L"battery_poll_interval"), ERROR_SUCCESS);
    EXPECT_EQ(task.Launch(&deleted, 10, nullptr), 0u);
    EXPECT_TRUE(contains(nextMessage(), L"\"DeltaTime\":3600}"));
}

// Without a period the repeat flag runs the task again a minute later; the period's case is every
// engine test's, the calendar's the preset test's.
TEST_F(SingleTaskLaunch, RepeatFlagWithoutPeriodRunsAgainAMinuteLater)
{
    storeTask({.freq = 0, .repeat = 1});
    EXPECT_EQ(launch(L"job"), 0u);
    EXPECT_EQ(storedDword(L"job", L"NextRun"), kNow + 60);
}

// A preset task takes its catalogue entry afresh before each run; an entry that is gone leaves
// its next run as it was.
TEST_F(SingleTaskLaunch, PresetTaskFollowsItsCatalogueEntryAndKeepsItsNextRunOnceTheEntryIsGone)
{
    kstest::registerProductDlls(kstest::resourceDllPath());
    setString(L"SOFTWARE\\Kestrel\\Platform\\Settings\\generalSettings", L"ResDll", kstest::resourceDllPath());
    const std::wstring entry = L"SOFTWARE\\Kestrel\\Platform\\Settings\\TaskSchedulePreset\\scan\\4";
    const std::pair<const wchar_t*, DWORD> values[] = {{L"Active", 1},       {L"Interval", KS_INTERVAL_WEEKLY},
                                                       {L"DayOfWeekMask", 0x08}, {L"Hour", 19},
                                                       {L"Minute", 5},       {L"DescriptionResId", KS_RES_PRESET_WEEKLY}};
    for (const auto& [name, value] : values)
        setDword(entry.c_str(), name, value);
    storeTask({.name = L"preset", .type = KS_TASK_PRESET, .freq = 0});
    {
        // Stored from an older catalogue: Mondays at 03:00.
        CKsTask task(L"preset");
        ASSERT_TRUE(task.Read());
        KsStore::replaceString(task.pwszPresetCategory, L"scan");
        task.dwPresetId = 4;
        task.dwInterval = KS_INTERVAL_WEEKLY;
        task.dwDayOfWeekMask = 0x02;
        task.dwHour = 3;
        ASSERT_TRUE(task.Write());
    }
    CKsTask expected(L"preset");
    ASSERT_TRUE(expected.Read());
    expected.dwDayOfWeekMask = 0x08;
    expected.dwHour = 19;
    expected.dwMinute = 5;
    expected.dwNextRun = kNow;
    expected.ComputeNextRun(0);

    // Only the next run is written: the catalogue stays the one source of the calendar.
    EXPECT_EQ(launch(L"preset"), 0u);
    EXPECT_EQ(storedDword(L"preset", L"NextRun"), expected.dwNextRun);

    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, entry.c_str()), ERROR_SUCCESS);
    m_clock.value = expected.dwNextRun + 5;
    EXPECT_EQ(launch(L"preset"), 0u);
    EXPECT_EQ(storedDword(L"preset", L"NextRun"), expected.dwNextRun) << "left as it was";
}

// Changes the file's last byte.
void flipLastByte(const std::wstring& path)
{
    std::fstream file(std::filesystem::path(path), std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(-1, std::ios::end);
    const char last = static_cast<char>(file.get() ^ 0x01);
    file.seekp(-1, std::ios::end);
    ASSERT_TRUE(file.put(last).flush());
}

TEST_F(SingleTaskLaunch, ListedProgramRunsAndTheSameFileChangedByOneByteIsRefused)
{
    kstest::TempFile program(L"ks-trusted-", L".exe");
    ASSERT_TRUE(::CopyFileW(kstest::sampleTaskPath().c_str(), program.path().c_str(), FALSE));
    ASSERT_TRUE(kstest::trustForTest(program.path()));
    m_systemTrust = true;
    kstest::ReportFile ran;
    storeTask({.trigger = program.path(), .params = L"--report " + ran.path()});
    EXPECT_EQ(launch(L"job"), 0u);
    EXPECT_EQ(nextMessage(), kCompleted);
    EXPECT_FALSE(ran.firstRecord().empty());
    auto executed = lastEvent(L"TaskScheduler.Task.Executed");
    EXPECT_EQ(executed[L"Event.Label"], L"job");
    EXPECT_FALSE(executed[L"Hit.Result"].empty()) << "the duration";

    flipLastByte(program.path());
    kstest::ReportFile refused;
    storeTask({.trigger = program.path(), .params = L"--report " + refused.path()});
    EXPECT_EQ(launch(L"job"), 5u);
    EXPECT_EQ(nextMessage(), L"TaskScheduler.Task.Deferred.job {\"name\":\"job\",\"reason\":\"validation\","
                             L"\"errorCode\":5,\"DeferredCode\":10,\"DeltaTime\":3600}");
    EXPECT_EQ(storedDword(L"job", L"NextRun"), kNow + 3600) << "the next run advances by the period";
    EXPECT_TRUE(refused.firstRecord().empty()) << "nothing started";
}

// Under Wine there is no terminal session and no shell to lend a token: the start fails (2) and
// is reported with code 7 and no delay, and the occasion count stays for the next log-on. With a
// session to start in, the task runs and its occasions start counting again.
TEST_F(SingleTaskLaunch, LogonTaskFailingToStartReportsCode7AndOneStartedInTheUsersSessionRuns)
{
    storeTask({.type = KS_TASK_LOGON, .nextRun = 3});
    EXPECT_EQ(launch(L"job"), 2u);
    EXPECT_EQ(nextMessage(), L"TaskScheduler.Task.Deferred.job {\"name\":\"job\",\"reason\":\"failedToLaunch\","
                             L"\"errorCode\":2,\"DeferredCode\":7,\"DeltaTime\":0}");
    EXPECT_EQ(storedDword(L"job", L"LogonNextRun"), 0u);
    EXPECT_EQ(storedDword(L"job", L"NextRun"), 3u);

    kstest::FakeSessions::reset();
    kstest::FakeSessions::sessions = {kstest::session(1, WTSActive)};
    kstest::FakeSessions::userOfAnyToken = L"alice";
    m_win32 = [] { return kstest::tableWithFakeSessions(); };
    EXPECT_EQ(launch(L"job"), 0u);
    EXPECT_EQ(nextMessage(), kCompleted);
    EXPECT_EQ(storedDword(L"job", L"NextRun"), 0u) << "the occasions start counting again";
}

// Records the creation flags of each start and starts the program for real. Wine accepts a
// priority class but runs the child at normal priority, so the flags are where it shows.
struct CreationFlags {
    static inline std::vector<DWORD> seen;
    static BOOL WINAPI create(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                             LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                             LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info)
    {
        seen.push_back(flags);
        return ::CreateProcessW(application, commandLine, process, thread, inherit, flags, environment, folder, startup,
                                info);
    }
};

TEST_F(SingleTaskLaunch, LogCompactionAndBackgroundTasksRunBelowNormalPriorityAndEveryOtherTaskAtNormal)
{
    CreationFlags::seen.clear();
    m_win32 = [] {
        auto table = kstest::realApiTableCopy();
        table->pCreateProcessW = &CreationFlags::create;
        return table;
    };
    storeTask({.name = L"zarn_logcompact"});
    storeTask({.name = L"job"});
    storeTask({.name = L"quiet", .background = 1});
    for (const wchar_t* name : {L"zarn_logcompact", L"job", L"quiet"})
        EXPECT_EQ(launch(name), 0u) << name;
    // Suspended every time: the program joins its job before it runs.
    EXPECT_EQ(CreationFlags::seen, (std::vector<DWORD>{BELOW_NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                                                       NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                                                       BELOW_NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED}));
}

// The access entries of a kernel object's DACL, as (type, mask, is Everyone).
std::vector<std::tuple<int, DWORD, bool>> daclEntries(HANDLE object)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::vector<std::tuple<int, DWORD, bool>> entries;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return entries;
    const Keelwork::unique_hlocal owner(descriptor);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    Keelwork::unique_sid everyone;
    ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.put());
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (::GetAce(dacl, i, reinterpret_cast<void**>(&ace)))
            entries.emplace_back(ace->Header.AceType, ace->Mask, ::EqualSid(&ace->SidStart, everyone.get()) != FALSE);
    }
    return entries;
}

TEST_F(SingleTaskLaunch, CompletionEventSetByTheTaskEndsTheWaitWhileTheProgramStillRunsAndEveryoneMaySetIt)
{
    const std::wstring done = uniqueEventName(L"ks-done-");
    // Held across the launch, so its access list can be read afterwards.
    Keelwork::unique_event held(::CreateEventW(nullptr, TRUE, TRUE, done.c_str()));
    storeTask({.params = L"--set-event " + done + L" --sleep 3000", .completeEvent = done});
    EXPECT_EQ(launch(L"job", nullptr, 60), 0u);
    EXPECT_TRUE(KsExecution::IsProcessRunning(L"sample-task.exe", nullptr)) << "the wait lasted until the exit";
    EXPECT_EQ(nextMessage(), kCompleted);
    // Denial of delete and access-list changes first, then everything else, both for Everyone.
    EXPECT_EQ(daclEntries(held.get()), (std::vector<std::tuple<int, DWORD, bool>>{
                                           {ACCESS_DENIED_ACE_TYPE, DELETE | WRITE_DAC, true},
                                           {ACCESS_ALLOWED_ACE_TYPE, GENERIC_ALL, true}}));
}

// The exit event ends the wait at once with 1602; a completion event never set ends it after the
// finish wait, the engine fault test's case.
TEST_F(SingleTaskLaunch, ExitEventEndsTheWaitWith1602)
{
    Keelwork::unique_event exitEvent(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    storeTask({.params = L"--sleep 3000"});
    EXPECT_EQ(launch(L"job", nullptr, 60, exitEvent.get()), 1602u);
}

// A next run a user sets through task management while the engine holds the task loaded is kept.
TEST_F(SingleTaskLaunch, NextRunChangedByAUserWhileTheTaskIsLoadedIsKept)
{
    storeTask({});
    CSingleTask task(L"job", services());
    ASSERT_TRUE(task.Read());
    Orbis::TaskManagement management;
    ASSERT_TRUE(management.modifyTask(L"job", L"{\"name\":\"job\",\"nextRun\":\"1900000000\"}"));
    DWORD deleted = 0;
    EXPECT_EQ(task.Launch(&deleted, 10, nullptr), 0u);
    EXPECT_EQ(storedDword(L"job", L"NextRun"), 1900000000u);
}

// Changes racing the engine's runs: every change is kept, and no change writes back the next
// run from before a run (which would run the task again).
TEST_F(SingleTaskLaunch, ChangesRacingRunsNeverBringBackAnOlderNextRun)
{
    storeTask({.trigType = KS_TRIGGER_EVENT, .trigger = uniqueEventName(L"ks-race-"), .params = L""});
    Orbis::TaskManagement management;
    std::atomic<bool> done{false};
    std::thread user([&] {
        for (int round = 0; round < 300; ++round)
            management.modifyTask(L"job", L"{\"name\":\"job\",\"minute\":\"" + std::to_wstring(round % 60) + L"\"}");
        done = true;
    });
    uint32_t lastNextRun = 0;
    for (int launches = 0; !done || launches == 0; ++launches) {
        m_clock.value += 60;
        EXPECT_EQ(launch(L"job"), 0u);
        lastNextRun = m_clock.value + 3600;
    }
    user.join();
    EXPECT_EQ(storedDword(L"job", L"NextRun"), lastNextRun);
    CKsTask after(L"job");
    ASSERT_TRUE(after.Read());
    EXPECT_EQ(after.dwMinute, 299u % 60) << "the last change was kept";
}

TEST_F(SingleTaskLaunch, EventTriggerIsSetAndAMissingOneIsStillReportedExecuted)
{
    const std::wstring trigger = uniqueEventName(L"ks-trigger-");
    Keelwork::unique_event event(::CreateEventW(nullptr, TRUE, FALSE, trigger.c_str()));
    storeTask({.trigType = KS_TRIGGER_EVENT, .trigger = trigger, .params = L""});
    m_trust.answer = 5;  // event triggers are not validated
    EXPECT_EQ(launch(L"job"), 0u);
    EXPECT_EQ(::WaitForSingleObject(event.get(), 0), DWORD{WAIT_OBJECT_0});
    EXPECT_EQ(nextMessage(), kCompleted);

    storeTask({.trigType = KS_TRIGGER_EVENT, .trigger = uniqueEventName(L"ks-nobody-"), .params = L""});
    EXPECT_EQ(launch(L"job"), 0u);
    EXPECT_EQ(nextMessage(), kCompleted);
}

// Started through its event rather than a program, the update task still clears its battery mark.
TEST_F(SingleTaskLaunch, UpdateTaskSetThroughItsEventClearsItsBatteryMark)
{
    const std::wstring trigger = uniqueEventName(L"ks-update-");
    Keelwork::unique_event event(::CreateEventW(nullptr, TRUE, FALSE, trigger.c_str()));
    storeTask({.name = L"ksupdtsk", .trigType = KS_TRIGGER_EVENT, .trigger = trigger, .params = L""});
    kstest::setStoredDword(L"ksupdtsk", L"UpdRun", kNow - 86400);
    EXPECT_EQ(launch(L"ksupdtsk"), 0u);
    EXPECT_EQ(storedDword(L"ksupdtsk", L"UpdRun"), 0u);
}

} // namespace
