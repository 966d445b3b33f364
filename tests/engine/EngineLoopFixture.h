// The engine thread with real objects on the scratch registry, started and stopped by the test;
// monitors in this process answer that the machine is not in connected standby and no full-screen
// application runs. Window messages are sent, so each is handled on the engine thread before the
// call returns.
#pragma once

#include "LogFileReader.h"
#include "MessageInbox.h"
#include "MonitorStandIn.h"
#include "RegistryFixture.h"
#include "TestClock.h"
#include "TestTask.h"
#include "TrustForTest.h"

#include "engine/EngineNames.h"
#include "state/EngineState.h"
#include "engine/TSHandles.h"
#include "engine/TaskScheduler.h"
#include "platform/BootMode.h"
#include "platform/PlatformNames.h"
#include "management/TaskManagement.h"
#include "messagebus/MessageBusConstants.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kstest {

using Tessel::Message;
namespace names = KsPlatform::names;

constexpr DWORD kBoundMs = 20000;
constexpr const wchar_t* kSettingsKey = L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler";

inline HWND engineWindow()
{
    return ::FindWindowW(Keelwork::engine::kWindowClass, Keelwork::engine::kWindowTitle);
}

// Polls `condition` until it holds or the bound has passed; whether it held.
template <typename Condition>
bool awaitTrue(Condition condition)
{
    for (DWORD waited = 0; waited < kBoundMs; waited += 20) {
        if (condition())
            return true;
        ::Sleep(20);
    }
    return condition();
}

// What the engine's state board says now, read from the test's thread.
inline KsState::EngineState engineState()
{
    auto board = KsState::currentEngineStateBoard();
    return board ? board->engine() : KsState::EngineState{};
}
inline KsState::TaskState taskState(const wchar_t* name)
{
    auto board = KsState::currentEngineStateBoard();
    return board ? board->read(name).second : KsState::TaskState{};
}

class SafeBoot final : public KsPlatform::BootMode {
public:
    SafeBoot() { install(this); }
    ~SafeBoot() override { install(nullptr); }
    int cleanBoot() const override { return 1; }
};

// A task that tells the test it runs, then runs until the test lets it go (or the test ends).
class GateTask {
public:
    std::wstring params() const { return L"--set-event " + m_runsName + L" --wait-event " + m_releaseName; }
    bool runs() const { return ::WaitForSingleObject(m_runs.get(), kBoundMs) == WAIT_OBJECT_0; }
    void release() const { ::SetEvent(m_release.get()); }
    ~GateTask() { release(); }

private:
    std::wstring m_runsName = uniqueEventName(L"ks-gate-runs-");
    std::wstring m_releaseName = uniqueEventName(L"ks-gate-release-");
    Keelwork::unique_event m_runs{::CreateEventW(nullptr, TRUE, FALSE, m_runsName.c_str())};
    Keelwork::unique_event m_release{::CreateEventW(nullptr, TRUE, FALSE, m_releaseName.c_str())};
};

class EngineLoop : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        setString(Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, kstest::testProgramFolder());
        // A prompt start whether or not this is the first start since the machine booted.
        setDword(kSettingsKey, L"winrestart_wait", 0);
        ASSERT_TRUE(kstest::trustForTest(kstest::sampleTaskPath()));
        m_monitors.answer(names::kConnectedStandbyRequest, L"SystemMonitor.ConnectedStandby.Off");
        m_monitors.answer(names::kNotificationStateRequest, L"SessionMonitor.NotificationState.Normal");
        ASSERT_EQ(m_monitors->subscribeFilter(L"TaskScheduler\\.Task\\.(LaunchAttempt|Completed|Deferred)\\..*",
                                              [this](std::shared_ptr<Message> m) { return m_inbox.deliver(m); }),
                  Tessel::MODULE_STATUS_SUCCESS);
    }

    void TearDown() override
    {
        stop();
        m_monitors.reset();
        RegistryFixture::TearDown();
    }

    static std::wstring ranEventName() { return uniqueEventName(L"ks-engine-ran-"); }

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

    // A run writes the next run before the program starts.
    static bool ran(const wchar_t* name, uint32_t dueAt) { return storedNextRun(name) != dueAt; }

    // Handled on the engine thread when the call returns.
    static void send(UINT message, WPARAM wParam = 0, DWORD boundMs = kBoundMs)
    {
        DWORD_PTR result = 0;
        EXPECT_NE(::SendMessageTimeoutW(engineWindow(), message, wParam, 0, SMTO_NORMAL, boundMs, &result), 0)
            << "the engine did not take message " << message;
    }
    // The start delay is over.
    static void kick() { send(WM_TIMER, Keelwork::engine::kStartDelayTimer); }

    // A log-on's trigger, then a bounded wait until the engine's own pump is done with what the
    // trigger queued: each pump message runs one task and posts the next, until the queue is empty
    // or its head is held (the timer brings that one back). A suspended or not yet started engine,
    // or an empty queue, is done at once.
    static void triggerAndPump()
    {
        LogCapture log;
        send(Keelwork::engine::kLogonMessage);
        EXPECT_TRUE(awaitTrue([&log] {
            const std::wstring text = log.text();
            if (text.find(L"SUSPENDED. Not processing any messages") != std::wstring::npos)
                return true;
            const size_t trigger = text.rfind(L"Task scheduler triggered");
            if (trigger == std::wstring::npos)
                return false;
            for (const wchar_t* end : {L"Not triggering the task", L"There is nothing in the Q",
                                       L"There are no more items in the Q", L"WaitTimeout:"})
                if (text.find(end, trigger) != std::wstring::npos)
                    return true;
            return false;
        })) << "the pump did not finish: " << narrowForReport(log.text());
    }

    // The engine's phase on the state board once its start is over (the started event comes
    // before the start delay is set); `lasts`: seconds from since to until, 0 for open-ended.
    static void expectPhase(KsState::EnginePhase phase,
                            KsState::EngineReason reason = KsState::EngineReason::none,
                            uint32_t lasts = 0)
    {
        awaitTrue([] { return engineState().phase != KsState::EnginePhase::starting; });
        const KsState::EngineState state = engineState();
        EXPECT_EQ(state.phase, phase) << KsState::phaseWord(state.phase);
        EXPECT_EQ(state.reason, reason) << KsState::reasonWord(state.reason);
        EXPECT_NE(state.since, 0u);
        EXPECT_EQ(state.until, lasts == 0 ? 0 : state.since + lasts);
    }

    // The engine's waitable timer fires at once, as it would at the next due time.
    static void fireTimer()
    {
        Keelwork::unique_handle timer(::OpenWaitableTimerW(TIMER_MODIFY_STATE, FALSE, Keelwork::engine::kWaitableTimerName));
        LARGE_INTEGER due = {};
        due.QuadPart = -1;
        ASSERT_TRUE(timer && ::SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE));
    }

    // The session monitor's answer from now on.
    void answerFullScreen(bool fullScreen)
    {
        m_monitors.answer(names::kNotificationStateRequest, fullScreen ? names::kFullScreenAppRunning
                                                                       : L"SessionMonitor.NotificationState.Normal");
    }

    // Waits (bounded) for the engine thread to log `text`.
    static bool awaitLogged(const LogCapture& log, const std::wstring& text)
    {
        return awaitTrue([&] { return log.contains(text); });
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

    // Every message up to and including `last`, in order, as awaitMessages names them; those that
    // came within the bound when `last` did not.
    std::vector<std::wstring> messagesUntil(const std::wstring& last)
    {
        std::vector<std::wstring> seen;
        while (seen.empty() || seen.back() != last) {
            auto message = m_inbox.take(std::chrono::milliseconds(kBoundMs));
            if (!message)
                break;
            seen.push_back(message->name() + L" " + message->payload());
        }
        return seen;
    }

    // The report that a task ran and ended, as awaitMessages takes it.
    static std::wstring completed(const std::wstring& name)
    {
        return L"TaskScheduler.Task.Completed." + name + L" {\"name\":\"" + name + L"\"}";
    }

    Keelwork::unique_event m_exit;
    Keelwork::unique_event m_started;
    Keelwork::unique_event m_ran{::CreateEventW(nullptr, TRUE, FALSE, ranEventName().c_str())};
    _tagTSHANDLES m_handles;
    std::thread m_thread;
    DWORD m_result = 0xDEAD;
    MonitorStandIn m_monitors;
    kstest::MessageInbox m_inbox;
};

inline void signalNewTask()
{
    Keelwork::unique_event event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, Keelwork::engine::kNewTaskEvent));
    ASSERT_TRUE(event);
    ::SetEvent(event.get());
}

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
