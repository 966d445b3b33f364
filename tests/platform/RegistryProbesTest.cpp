// Probes of what other components leave in the registry and in named objects: restart pending
// (current and old place), first start since boot, factory mode and the update manager's state.
#include "ProbeFakes.h"

#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "platform/FirstStartProbe.h"
#include "platform/KsUpdateMgr/KsUpdateMgr_Helper.h"
#include "platform/PlatformProbes.h"
#include "registry/RegKey.h"
#include "store/ProtectedValue.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kNewPlace[] = L"SOFTWARE\\Kestrel\\Volatile\\ZARN";
constexpr wchar_t kOldPlace[] = L"SOFTWARE\\Kestrel\\ZARN\\Update";
constexpr wchar_t kValue[] = L"IsRestartPending";

enum class Stored { none, dword0, dword1, text, protected1, protected0, plainOld1 };

struct RestartCase {
    Stored current;
    Stored old;
    bool expected;
    const wchar_t* line; // a line the answer must log
};

class RestartPending : public kstest::RegistryFixture, public ::testing::WithParamInterface<RestartCase> {
protected:
    void store(const wchar_t* path, Stored what)
    {
        switch (what) {
        case Stored::none: break;
        case Stored::dword0: setDword(path, kValue, 0); break;
        case Stored::dword1: setDword(path, kValue, 1); break;
        case Stored::plainOld1: setDword(path, kValue, 1); break;
        case Stored::text: setString(path, kValue, L"1"); break;
        case Stored::protected1:
        case Stored::protected0: {
            Keelwork::CRegKey key;
            ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS | KEY_WOW64_64KEY), ERROR_SUCCESS);
            ASSERT_EQ(KsStore::writeProtectedDword(key, kValue, what == Stored::protected1 ? 1 : 0), 0u);
            break;
        }
        }
    }
};

TEST_P(RestartPending, AnswersFromTheCurrentPlaceElseTheOldOne)
{
    store(kNewPlace, GetParam().current);
    store(kOldPlace, GetParam().old);
    kstest::LogCapture log;
    EXPECT_EQ(IsRestartPending(), GetParam().expected);
    EXPECT_TRUE(log.contains(L"Checking if restart is pending...")) << log.text();
    EXPECT_TRUE(log.contains(GetParam().line)) << log.text();
}

INSTANTIATE_TEST_SUITE_P(
    Places, RestartPending,
    ::testing::Values(
        RestartCase{Stored::dword1, Stored::none, true, L"Restart is pending"},
        RestartCase{Stored::dword0, Stored::protected1, false, L"No restart is pending"},
        RestartCase{Stored::text, Stored::protected1, false, L"Invalid value type"},
        RestartCase{Stored::none, Stored::protected1, true, L"Failed to read IsRestartPending value from registry - error 2"},
        RestartCase{Stored::none, Stored::protected0, false, L"No restart is pending"},
        RestartCase{Stored::none, Stored::plainOld1, false, L"Invalid old value type"},
        RestartCase{Stored::none, Stored::none, false,
                    L"Failed to read IsRestartPending value from old registry position - error 2"}));

class FirstStart : public kstest::RegistryFixture {};

TEST_F(FirstStart, YesForTheFirstProbeOfABootThenNo)
{
    KsPlatform::CFirstStartProbe thisProcess;
    EXPECT_TRUE(thisProcess.IsFirstStart());
    EXPECT_TRUE(thisProcess.IsFirstStart()) << "the answer is remembered for the process";
    KsPlatform::CFirstStartProbe laterProcess;
    EXPECT_FALSE(laterProcess.IsFirstStart());
    EXPECT_TRUE(keyExists(L"SOFTWARE\\Kestrel\\Volatile\\RebootFlag"));
    EXPECT_TRUE(keyExists(L"SOFTWARE\\Kestrel\\Volatile\\ZARN"));
}

class FactoryMode : public kstest::RegistryFixture {};

TEST_F(FactoryMode, OnGivesTheClearManualResetEvent)
{
    setDword(L"SOFTWARE\\Kestrel\\ZARN\\Oem", L"facmode", 1);
    Keelwork::unique_event event;
    ASSERT_TRUE(IsFactoryMode(&event));
    ASSERT_TRUE(event);
    EXPECT_EQ(::WaitForSingleObject(event.get(), 0), DWORD{WAIT_TIMEOUT});
    Keelwork::unique_handle byName(::OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Global\\ZARN_{81E5C0DA-590C-4b72-BE59-10DEE280D94C}"));
    ASSERT_TRUE(byName);
    ::SetEvent(byName.get());
    EXPECT_EQ(::WaitForSingleObject(event.get(), 0), DWORD{WAIT_OBJECT_0});
    EXPECT_EQ(::WaitForSingleObject(event.get(), 0), DWORD{WAIT_OBJECT_0}) << "manual reset";
}

TEST_F(FactoryMode, OffForAnyOtherValue)
{
    Keelwork::unique_event untouched(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE before = untouched.get();
    EXPECT_FALSE(IsFactoryMode(&untouched));
    setDword(L"SOFTWARE\\Kestrel\\ZARN\\Oem", L"facmode", 2);
    EXPECT_FALSE(IsFactoryMode(&untouched));
    setString(L"SOFTWARE\\Kestrel\\ZARN\\Oem", L"facmode", L"1");
    EXPECT_FALSE(IsFactoryMode(&untouched));
    EXPECT_EQ(untouched.get(), before);
}

class UpdateManager : public kstest::RegistryFixture {
protected:
    static constexpr wchar_t kEvent[] = L"Global\\{834C46D9-6762-4FF9-8279-2C04C8B1162C}default";
    kstest::RecordingNamedObjects m_named;
};

// Without the package's event no update runs; with it, the phase comes from the registry.
TEST_F(UpdateManager, RunningIsTheEventsPresenceAndThePhaseIsStored)
{
    setDword(L"SOFTWARE\\Kestrel\\UPDMGR\\Update\\pkg_default", L"phase", 3);
    for (const bool present : {false, true}) {
        Keelwork::unique_handle event(present ? ::CreateEventW(nullptr, TRUE, FALSE, kEvent) : nullptr);
        CKsUpdateMgr_Helper helper(L"default", m_named);
        BOOL running = !present;
        DWORD phase = 9;
        kstest::LogCapture log;
        EXPECT_EQ(helper.IsUpdateRunning2(&running, &phase), S_OK);
        EXPECT_EQ(running != FALSE, present);
        EXPECT_EQ(phase, present ? 3u : 0u);
        EXPECT_TRUE(log.contains(present ? L"An update is running." : L"An update is NOT running.")) << log.text();
    }
    EXPECT_EQ(m_named.opened, (std::vector<std::wstring>{kEvent, kEvent}));
}

TEST_F(UpdateManager, RemindRestartSetsThePackagesEvent)
{
    Keelwork::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, kEvent));
    CKsUpdateMgr_Helper helper(L"default", m_named);
    EXPECT_EQ(helper.RemindRestart(), S_OK);
    EXPECT_EQ(::WaitForSingleObject(event.get(), 0), DWORD{WAIT_OBJECT_0});
}

} // namespace
