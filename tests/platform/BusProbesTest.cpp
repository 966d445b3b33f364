// The bus-asking probes over the real MessageBus.dll: another client in this process plays the
// system monitor and the session monitor, or nobody answers.
#include "LogFileReader.h"
#include "MonitorStandIn.h"
#include "ProgramFolder.h"
#include "RegistryFixture.h"

#include "platform/PlatformNames.h"
#include "platform/PlatformProbes.h"
#include "messagebus/MessageBusConstants.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

namespace names = KsPlatform::names;

class RealBusProbes : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        // The bus library is found through the host's install folder: the test program's own.
        setString(Tessel::kHearthKeyPath, Tessel::kHearthInstallDirValue, kstest::testProgramFolder());
    }

    void TearDown() override
    {
        m_monitors.reset();
        RegistryFixture::TearDown();
    }

    kstest::MonitorStandIn m_monitors;
};

// No answer is a no; each monitor's answer moves only its own probe (connected standby also
// counts as idle).
TEST_F(RealBusProbes, EachMonitorsAnswerMovesItsOwnProbe)
{
    EXPECT_FALSE(IsConnectedStandby(nullptr));
    EXPECT_FALSE(IsFullScreen());
    m_monitors.answer(names::kNotificationStateRequest, names::kFullScreenAppRunning);
    EXPECT_TRUE(IsFullScreen());
    EXPECT_FALSE(IsConnectedStandby(nullptr));
    m_monitors.answer(names::kConnectedStandbyRequest, names::kConnectedStandbyOn);
    EXPECT_TRUE(IsConnectedStandby(nullptr));
    EXPECT_TRUE(IsIdleMode());
}

// A stopping engine is not held for the probes' 15 and 5 seconds: its exit event, set while the
// probe waits for a monitor that never answers, ends the wait as "no answer". The bound is a hang
// check, far below the time-outs, not a speed goal.
TEST_F(RealBusProbes, StopEventEndsTheWaitForAnAnswerAsNoAnswer)
{
    Keelwork::unique_event stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const ULONGLONG started = ::GetTickCount64();
    std::thread stopper([&stop] {
        ::Sleep(200);
        ::SetEvent(stop.get());
    });
    EXPECT_FALSE(IsFullScreen(KsPlatform::SystemProbeServices(stop.get())));
    stopper.join();
    EXPECT_FALSE(IsConnectedStandby(nullptr, KsPlatform::SystemProbeServices(stop.get())));
    EXPECT_LT(::GetTickCount64() - started, 5000u) << "the probes waited out their time-outs";
}

} // namespace
