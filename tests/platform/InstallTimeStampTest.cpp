// The installation time stamp is written once, from the clock seam.
#include "platform/InstallTimeStamp.h"

#include "RegistryFixture.h"
#include "TestClock.h"
#include "platform/PlatformNames.h"

#include <gtest/gtest.h>

namespace {

using namespace KsPlatform;
using namespace KsPlatform::names;

class InstallTimeStampTest : public kstest::RegistryFixture {
protected:
    static void createProductKey() { setDword(kProductKey, L"unrelated", 0); }

    kstest::TestClock m_clock;
};

TEST_F(InstallTimeStampTest, FirstStartWritesTheClocksTimeAndLaterStartsKeepIt)
{
    createProductKey();
    m_clock.value = 3000000000u;  // past 2^31: must survive as unsigned
    writeInstallTimeStamp();
    EXPECT_EQ(kstest::readDword(kProductKey, kInstallTimeStampValue), 3000000000u);

    m_clock.value = 3000000500u;
    writeInstallTimeStamp();
    EXPECT_EQ(kstest::readDword(kProductKey, kInstallTimeStampValue), 3000000000u);
}

TEST_F(InstallTimeStampTest, NothingIsWrittenWithoutTheProductKey)
{
    m_clock.value = 1700000000u;
    writeInstallTimeStamp();
    EXPECT_FALSE(keyExists(kProductKey));
}

TEST_F(InstallTimeStampTest, MistypedOrUnsetStampIsReplaced)
{
    setString(kProductKey, kInstallTimeStampValue, L"1600000000");
    m_clock.value = 1700000000u;
    writeInstallTimeStamp();
    EXPECT_EQ(kstest::readDword(kProductKey, kInstallTimeStampValue), 1700000000u);

    setDword(kProductKey, kInstallTimeStampValue, 0xFFFFFFFFu);
    m_clock.value = 1700000100u;
    writeInstallTimeStamp();
    EXPECT_EQ(kstest::readDword(kProductKey, kInstallTimeStampValue), 1700000100u);
}

} // namespace
