// monitored_reg_key: callbacks on real registry changes, re-arming, exception logging, stopping rules,
// destruction during a callback, a deleted key. The watch armed at start is the broadcast test's.
#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "registry/monitored_reg_key.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <system_error>
#include <thread>

using Keelwork::monitored_reg_key;

namespace {

constexpr const wchar_t* kPath = L"SOFTWARE\\Kestrel\\Watched";
constexpr REGSAM kAccess = KEY_READ | KEY_NOTIFY | KEY_WOW64_64KEY;
constexpr DWORD kFilter = REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME;
constexpr DWORD kBoundMs = 5000;

class Signal {
public:
    void set() { SetEvent(m_event.get()); }
    bool wait(DWORD ms = kBoundMs) { return WaitForSingleObject(m_event.get(), ms) == WAIT_OBJECT_0; }

private:
    Keelwork::unique_event m_event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

// Records how the watcher thread ended, so tests can wait for it on an event.
class ObservedMonitor : public monitored_reg_key {
public:
    ~ObservedMonitor() override { stopMonitoring(); }
    Signal ended;
    std::atomic<DWORD> result{0xFFFFFFFF};

protected:
    DWORD registry_callback_thread(bool watchSubtree, DWORD filter) override
    {
        DWORD status = monitored_reg_key::registry_callback_thread(watchSubtree, filter);
        result = status;
        ended.set();
        return status;
    }
};

class MonitoredRegKeyTest : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        setDword(kPath, L"poke", 0);
    }

    // The first change after start, to new data, and the callback it must bring within the
    // bound: the watch is armed before start returns, so that change is never missed.
    bool changeOnce(Signal& seen)
    {
        setDword(kPath, L"poke", ++m_data);
        ++changes;
        return seen.wait();
    }

    // A later change can land between a callback's end and the re-arm and go unreported until the
    // next one: keep changing, to new data each time, until the callback reports, within a bound.
    bool changeUntil(Signal& seen)
    {
        for (int i = 0; i < 100; ++i) {
            setDword(kPath, L"poke", ++m_data);
            ++changes;
            if (seen.wait(50))
                return true;
        }
        return false;
    }

    int changes = 0;

private:
    DWORD m_data = 0;
};

struct ThrowCase {
    const char* label;
    std::function<void()> raise;
    const wchar_t* line;
};

void PrintTo(const ThrowCase& c, std::ostream* os) { *os << c.label; }

class MonitoredRegKeyThrow : public MonitoredRegKeyTest, public ::testing::WithParamInterface<ThrowCase> {};

TEST_P(MonitoredRegKeyThrow, ExceptionIsLoggedOnceAndMonitoringGoesOn)
{
    kstest::LogCapture log;
    monitored_reg_key monitor;
    ASSERT_EQ(monitor.openKey(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
    std::atomic<int> calls{0};
    Signal called;
    ASSERT_TRUE(monitor.startMonitoring(
        [&] {
            called.set();
            if (++calls == 1)
                GetParam().raise();
        },
        false, kFilter));

    ASSERT_TRUE(changeOnce(called));
    ASSERT_TRUE(changeUntil(called)) << "monitoring ended after the exception";
    monitor.stopMonitoring();

    int found = 0;
    for (const auto& line : log.lines())
        found += line.find(GetParam().line) != std::wstring::npos;
    EXPECT_EQ(found, 1) << "log since start:\n" << std::string(log.text().begin(), log.text().end());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MonitoredRegKeyThrow,
    ::testing::Values(
        ThrowCase{"StandardException", [] { throw std::runtime_error("disk gone"); },
                  L"STL exception caught while invoking registry key monitor callback: disk gone."},
        ThrowCase{"OtherException", [] { throw 42; },
                  L"Unexpected exception caught while invoking registry key monitor callback."}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(MonitoredRegKeyTest, StopFromInsideTheCallbackIsRefusedAndWatchingContinues)
{
    monitored_reg_key monitor;
    ASSERT_EQ(monitor.openKey(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
    std::error_code refusal;
    std::atomic<int> calls{0};
    Signal called;
    ASSERT_TRUE(monitor.startMonitoring(
        [&] {
            if (++calls == 1) {
                try {
                    monitor.stopMonitoring();
                } catch (const std::system_error& e) {
                    refusal = e.code();
                }
            }
            called.set();
        },
        false, kFilter));

    ASSERT_TRUE(changeOnce(called));
    EXPECT_EQ(refusal, std::make_error_code(std::errc::resource_deadlock_would_occur));
    EXPECT_TRUE(changeUntil(called)) << "the refused stop ended monitoring";
    EXPECT_TRUE(monitor.stopMonitoring());
    EXPECT_FALSE(monitor.hasWatcher());
}

TEST_F(MonitoredRegKeyTest, DestructionWaitsForTheCallbackInFlight)
{
    auto monitor = std::make_unique<monitored_reg_key>();
    ASSERT_EQ(monitor->openKey(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
    Signal entered;
    Signal release;
    std::atomic<bool> callbackFinished{false};
    std::atomic<bool> once{false};
    ASSERT_TRUE(monitor->startMonitoring(
        [&] {
            if (once.exchange(true))
                return;
            entered.set();
            release.wait();
            callbackFinished = true;
        },
        false, kFilter));
    ASSERT_TRUE(changeOnce(entered));

    Signal destroyed;
    std::atomic<bool> finishedWhenDestroyed{false};
    std::thread destroyer([&] {
        monitor.reset();
        finishedWhenDestroyed = callbackFinished.load();
        destroyed.set();
    });
    // While the callback is held, destruction must not complete.
    EXPECT_FALSE(destroyed.wait(300));
    release.set();
    EXPECT_TRUE(destroyed.wait());
    destroyer.join();
    EXPECT_TRUE(finishedWhenDestroyed.load());
}

TEST_F(MonitoredRegKeyTest, KeyDeletedDuringACallbackEndsMonitoringWithTheReArmError)
{
    ObservedMonitor monitor;
    ASSERT_EQ(monitor.openKey(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
    Signal entered;
    Signal release;
    std::atomic<int> calls{0};
    ASSERT_TRUE(monitor.startMonitoring(
        [&] {
            if (++calls == 1) {
                entered.set();
                release.wait();
            }
        },
        false, kFilter));
    ASSERT_TRUE(changeOnce(entered));

    ASSERT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPath, KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
    release.set();
    ASSERT_TRUE(monitor.ended.wait()) << "the watcher kept running on a deleted key";
    EXPECT_EQ(monitor.result.load(), static_cast<DWORD>(ERROR_KEY_DELETED));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(monitor.stopMonitoring());
    EXPECT_FALSE(monitor.hasWatcher());
}

// Every operation that changes the key or stops the monitor ends the watcher before it returns.
struct StoppingOperation {
    const char* label;
    std::function<void(monitored_reg_key&)> run;
    bool keyOpenAfter;
};

void PrintTo(const StoppingOperation& c, std::ostream* os) { *os << c.label; }

class MonitoredRegKeyStop : public MonitoredRegKeyTest, public ::testing::WithParamInterface<StoppingOperation> {};

TEST_P(MonitoredRegKeyStop, WatcherHasEndedWhenTheOperationReturns)
{
    ObservedMonitor monitor;
    ASSERT_EQ(monitor.openKey(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
    Signal called;
    ASSERT_TRUE(monitor.startMonitoring([&] { called.set(); }, false, kFilter));
    ASSERT_TRUE(changeOnce(called));

    GetParam().run(monitor);
    EXPECT_TRUE(monitor.ended.wait(0));
    EXPECT_EQ(monitor.result.load(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(monitor.hasWatcher());
    EXPECT_EQ(monitor.key().isOpen(), GetParam().keyOpenAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, MonitoredRegKeyStop,
    ::testing::Values(
        StoppingOperation{"StopMonitoring", [](monitored_reg_key& m) { EXPECT_TRUE(m.stopMonitoring()); }, true},
        StoppingOperation{"CloseKey", [](monitored_reg_key& m) { m.closeKey(); }, false},
        StoppingOperation{"StopAndClose", [](monitored_reg_key& m) { m.stopAndClose(); }, false},
        StoppingOperation{"OpenKey",
                          [](monitored_reg_key& m) {
                              EXPECT_EQ(m.openKey(HKEY_LOCAL_MACHINE, kPath, kAccess), ERROR_SUCCESS);
                          },
                          true},
        StoppingOperation{"CreateKey",
                          [](monitored_reg_key& m) {
                              EXPECT_EQ(m.createKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel\\Other", kAccess),
                                        ERROR_SUCCESS);
                          },
                          true}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
