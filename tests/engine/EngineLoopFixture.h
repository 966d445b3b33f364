// The engine thread with real objects on the scratch registry, started and stopped by the test;
// monitors in this process answer that the machine is not in connected standby and no full-screen
// application runs. Clocks a test installs for the engine's idea of now.
#pragma once

#include "LogFileReader.h"
#include "MessageInbox.h"
#include "RegistryFixture.h"
#include "SampleTaskReport.h"
#include "TrustForTest.h"

#include "common/Clock.h"
#include "engine/EngineNames.h"
#include "engine/TSHandles.h"
#include "engine/TaskScheduler.h"
#include "platform/PlatformNames.h"
#include "management/TaskManagement.h"
#include "messagebus/MessageBusClient.h"
#include "messagebus/MessageBusConstants.h"
#include "registry/RegKey.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace kstest {

using Tessel::Message;
namespace names = KsPlatform::names;

constexpr DWORD kBoundMs = 20000;

// The engine leaves a task it stopped waiting for running; end it, so it does not hold the test
// program's output open for its remaining half minute.
inline void endSampleTasks()
{
    Keelwork::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, L"sample-task.exe") != 0)
            continue;
        Keelwork::unique_handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (process)
            ::TerminateProcess(process.get(), 1);
    }
}

inline HWND engineWindow()
{
    return ::FindWindowW(Keelwork::engine::kWindowClass, Keelwork::engine::kWindowTitle);
}

class EngineLoop : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        setString(Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, kstest::testProgramFolder());
        // A prompt start whether or not this is the first start since the machine booted.
        setDword(L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler", L"winrestart_wait", 0);
        ASSERT_TRUE(kstest::trustForTest(kstest::sampleTaskPath()));
        m_monitors = std::make_shared<Tessel::MessageBusClient>();
        answer(names::kConnectedStandbyRequest, L"SystemMonitor.ConnectedStandby.Off");
        answer(names::kNotificationStateRequest, L"SessionMonitor.NotificationState.Normal");
        ASSERT_EQ(m_monitors->subscribeFilter(L"TaskScheduler\\.Task\\.(LaunchAttempt|Completed|Deferred)\\..*",
                                              [this](std::shared_ptr<Message> m) { return m_inbox.deliver(m); }),
                  Tessel::MODULE_STATUS_SUCCESS);
        m_ran.reset(::CreateEventW(nullptr, TRUE, FALSE, ranEventName().c_str()));
    }

    void TearDown() override
    {
        stop();
        m_monitors.reset();
        RegistryFixture::TearDown();
    }

    void answer(const wchar_t* request, const wchar_t* reply)
    {
        std::weak_ptr<Tessel::MessageBusClient> weak = m_monitors;
        std::wstring replyName = reply;
        ASSERT_EQ(m_monitors->subscribe(request, [weak, replyName](std::shared_ptr<Message> m) -> uint32_t {
            auto self = weak.lock();
            return self && m ? self->publish(Message::createReply(*m, replyName, L"Monitor", L"")) : 0;
        }), Tessel::MODULE_STATUS_SUCCESS);
    }

    static std::wstring ranEventName() { return L"Global\\ks-engine-ran-" + std::to_wstring(::GetCurrentProcessId()); }

    // Starts the engine thread without waiting for its start.
    void launch()
    {
        m_exit.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        m_started.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
        m_handles.hExitEvent = m_exit.get();
        m_handles.hStartedEvent = m_started.get();
        m_thread = std::thread([this] { m_result = Keelwork::engine::CKsTaskScheduler::TSThread(&m_handles); });
    }

    void start()
    {
        launch();
        ASSERT_EQ(::WaitForSingleObject(m_started.get(), kBoundMs), DWORD{WAIT_OBJECT_0}) << "the engine did not start";
    }

    // `expected`: the thread's result, 0 after an orderly stop.
    void stop(DWORD expected = 0)
    {
        if (!m_thread.joinable())
            return;
        ::SetEvent(m_exit.get());
        m_thread.join();
        EXPECT_EQ(m_result, expected);
    }

    // A task running `program` (sample-task.exe unless named) with `params`. For timed types
    // nextRun is a time, for log-on and boot tasks an occasion count, and freq the period or the
    // occasions to wait.
    static void storeTask(const wchar_t* name, DWORD type, const std::wstring& params, uint32_t nextRun, DWORD freq,
                          const std::wstring& program = kstest::sampleTaskPath())
    {
        KSTASKINFO record = {};
        record.dwSize = sizeof record;
        record.dwTaskType = type;
        record.dwTaskTrigType = KS_TRIGGER_PROCESS;
        record.pwszTaskTrigger = const_cast<wchar_t*>(program.c_str());
        record.pwszTaskParams = const_cast<wchar_t*>(params.c_str());
        record.dwNextRun = nextRun;
        record.dwDefaultFreq = freq;
        CKsTask task(name);
        ASSERT_EQ(task.Assign(&record), 0u);
        ASSERT_TRUE(task.Write());
    }

    // An hourly task due `offset` seconds from now (negative: overdue).
    static void storeDue(const wchar_t* name, const std::wstring& params, int offset = -5)
    {
        storeTask(name, KS_TASK_SCHEDULED, params,
                  static_cast<uint32_t>(static_cast<int64_t>(Keelwork::Clock::current().now()) + offset), 3600);
    }

    static uint32_t storedNextRun(const wchar_t* name)
    {
        CKsTask task(name);
        return task.Read() ? task.dwNextRun : 0;
    }

    // An hourly task that exits at once, due at `nextRun`.
    static void storeAt(const wchar_t* name, uint32_t nextRun)
    {
        storeTask(name, KS_TASK_SCHEDULED, L"--exit 0", nextRun, 3600);
    }

    // A run writes the next run before the program starts.
    static bool ran(const wchar_t* name, uint32_t dueAt) { return storedNextRun(name) != dueAt; }

    // Sent, so the engine thread has handled the message when the call returns.
    static void send(UINT message, WPARAM wParam = 0) { ::SendMessageW(engineWindow(), message, wParam, 0); }
    static void kick() { send(WM_TIMER, Keelwork::engine::kStartDelayTimer); }
    // Each pump message runs one task and posts the next, which a test's following step could
    // overtake: send enough of them to empty the queue, so every due task has run on return.
    static void triggerAndPump()
    {
        constexpr int kMostQueued = 3;
        send(Keelwork::engine::kLogonMessage);
        for (int task = 0; task < kMostQueued; ++task)
            send(Keelwork::engine::kPumpMessage);
    }

    // The session monitor's answer from now on.
    void answerFullScreen(bool fullScreen)
    {
        m_monitors->unsubscribe(names::kNotificationStateRequest);
        answer(names::kNotificationStateRequest, fullScreen ? L"SessionMonitor.NotificationState.FullScreenAppRunning"
                                                            : L"SessionMonitor.NotificationState.Normal");
    }

    // Waits (bounded) for the engine thread to log `text`.
    static bool awaitLogged(const LogCapture& log, const std::wstring& text)
    {
        for (DWORD waited = 0; waited < kBoundMs; waited += 50) {
            if (log.contains(text))
                return true;
            ::Sleep(50);
        }
        return false;
    }

    // Takes messages until each of `wanted` has come; the names of those that did not.
    std::set<std::wstring> awaitMessages(std::set<std::wstring> wanted)
    {
        while (!wanted.empty()) {
            auto message = m_inbox.take(std::chrono::milliseconds(kBoundMs));
            if (!message)
                break;
            wanted.erase(message->name() + L" " + message->payload());
        }
        return wanted;
    }

    Keelwork::unique_event m_exit;
    Keelwork::unique_event m_started;
    Keelwork::unique_event m_ran;
    _tagTSHANDLES m_handles;
    std::thread m_thread;
    DWORD m_result = 0xDEAD;
    std::shared_ptr<Tessel::MessageBusClient> m_monitors;
    kstest::MessageInbox m_inbox;
};

inline void signalNewTask()
{
    Keelwork::unique_event event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, Keelwork::engine::kNewTaskEvent));
    ASSERT_TRUE(event);
    ::SetEvent(event.get());
}

// Installed for its lifetime; the engine thread reads it while the test moves it.
class DrivenClock final : public Keelwork::Clock {
public:
    DrivenClock() { Keelwork::Clock::install(this); }
    ~DrivenClock() override { Keelwork::Clock::install(nullptr); }
    uint32_t now() const override { return value; }
    std::atomic<uint32_t> value{1800000000};
};

// The system clock plus an offset: relative timers still agree with the engine's idea of now, so the
// engine placed two seconds before a due time lets the real waitable timer bring the task. The
// offset may be moved while the engine thread reads it; the arithmetic wraps, so an instant before
// the real now works too.
class OffsetClock final : public Keelwork::Clock {
public:
    explicit OffsetClock(uint32_t offset) : m_offset(offset) { Keelwork::Clock::install(this); }
    ~OffsetClock() override { Keelwork::Clock::install(nullptr); }
    uint32_t now() const override { return Keelwork::SystemClock().now() + m_offset.load(); }
    // From here on now() reads `instant`, moving on with the system clock.
    void moveTo(uint32_t instant) { m_offset = instant - Keelwork::SystemClock().now(); }

private:
    std::atomic<uint32_t> m_offset;
};

} // namespace kstest
