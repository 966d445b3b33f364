// The installation time stamp is written once, from the clock seam.
#include "engine/InstallTimeStamp.h"

#include "EngineRegistry.h"
#include "RegistryFixture.h"
#include "common/Clock.h"
#include "engine/SchedulerRegistry.h"

#include <gtest/gtest.h>

namespace {

using namespace Keelwork::engine;

class SettableClock : public Keelwork::Clock {
public:
    uint32_t now() const override { return m_now; }
    uint32_t m_now = 0;
};

class InstallTimeStampTest : public kstest::RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        Keelwork::Clock::install(&m_clock);
    }
    void TearDown() override
    {
        Keelwork::Clock::install(nullptr);
        RegistryFixture::TearDown();
    }

    static void createProductKey() { setDword(kProductKey, L"unrelated", 0); }

    SettableClock m_clock;
};

TEST_F(InstallTimeStampTest, FirstStartWritesTheClocksTimeAndLaterStartsKeepIt)
{
    createProductKey();
    m_clock.m_now = 3000000000u;  // past 2^31: must survive as unsigned
    writeInstallTimeStamp();
    EXPECT_EQ(kstest::readDword(kProductKey, kInstallTimeStampValue), 3000000000u);

    m_clock.m_now = 3000000500u;
    writeInstallTimeStamp();
    EXPECT_EQ(kstest::readDword(kProductKey, kInstallTimeStampValue), 3000000000u);
}

TEST_F(InstallTimeStampTest, NothingIsWrittenWithoutTheProductKey)
{
    m_clock.m_now = 1700000000u;
    writeInstallTimeStamp();
    EXPECT_FALSE(keyExists(kProductKey));
}

TEST_F(InstallTimeStampTest, MistypedOrUnsetStampIsReplaced)
{
    setString(kProductKey, kInstallTimeStampValue, L"1600000000");
    m_clock.m_now = 1700000000u;
    writeInstallTimeStamp();
    EXPECT_EQ(kstest::readDword(kProductKey, kInstallTimeStampValue), 1700000000u);

    setDword(kProductKey, kInstallTimeStampValue, 0xFFFFFFFFu);
    m_clock.m_now = 1700000100u;
    writeInstallTimeStamp();
    EXPECT_EQ(kstest::readDword(kProductKey, kInstallTimeStampValue), 1700000100u);
}

} // namespace
