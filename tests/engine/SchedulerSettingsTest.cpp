// Start-up settings: defaults, override values and their type rule, the two write-backs; and the
// per-task out-of-box wait.
#include "engine/SchedulerSettings.h"
#include "engine/TaskOobeWait.h"

#include "ExpectLogged.h"
#include "LogFileReader.h"
#include "RegistryFixture.h"
#include "customization/KsPartnerCustomizationCommon.h"
#include "engine/SchedulerRegistry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace Keelwork::engine;

constexpr const wchar_t* kOverrideKey = L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler";
constexpr const wchar_t* kPartnerKey = L"SOFTWARE\\Kestrel\\Platform\\overrides\\partner";
constexpr const wchar_t* kPartnerOverrideKey = L"SOFTWARE\\Kestrel\\Platform\\overrides\\partner\\Settings\\taskscheduler";

class SchedulerSettingsTest : public kstest::RegistryFixture {
protected:
    SchedulerSettings load(bool firstStartSinceBoot = true)
    {
        KsZARNPartnerCustomization customization;
        EXPECT_EQ(customization.Initialize(), S_OK);
        SchedulerSettings settings;
        SchedulerSettingsLoader(customization).load(settings, firstStartSinceBoot);
        return settings;
    }

    uint32_t loadOobeWait()
    {
        KsZARNPartnerCustomization customization;
        EXPECT_EQ(customization.Initialize(), S_OK);
        return SchedulerSettingsLoader(customization).loadGlobalOobeWait();
    }
};

TEST_F(SchedulerSettingsTest, EmptyRegistryRunsOnDefaultsAndWritesTwoBack)
{
    kstest::LogCapture log;
    SchedulerSettings s = load();
    EXPECT_EQ(s.taskFinishWait, 3600u);
    EXPECT_EQ(s.fullScreenWait, 21600u);
    EXPECT_EQ(s.fullScreenPoll, 600u);
    EXPECT_EQ(s.idleModePoll, 600u);
    EXPECT_EQ(s.idleModeTimeout, 7200u);
    EXPECT_EQ(s.afterSuspendWait, 300u);
    EXPECT_EQ(s.amModeEnabled, 1u);
    EXPECT_EQ(s.futureTaskWindow, 43200u);
    EXPECT_EQ(s.rebootDelay, 300u);
    EXPECT_EQ(kstest::readDword(kSchedulerKey, kIdleWaitValue), 1u);
    EXPECT_EQ(kstest::readDword(kSchedulerKey, kTaskFinishWaitValue), 3600u);
    EXPECT_EQ(loadOobeWait(), 14400u);
    EXPECT_TRUE(log.contains(L"Could not read IdleWait value from registry. Error: 2")) << log.text();
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"Writing IdleWait value 1 to the registry");
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL, L"Writing default value 3600 seconds to the registry");
    // No hive has the override key at all, so the lookup has no key open: E_HANDLE.
    EXPECT_TRUE(log.contains(L"Could not read idle mode exit from registry. Error: 80070006. Using default value 7200"))
        << log.text();
}

struct OverrideCase {
    const wchar_t* value;
    uint32_t SchedulerSettings::*member;
};

class OverrideValue : public SchedulerSettingsTest, public ::testing::WithParamInterface<OverrideCase> {};

TEST_P(OverrideValue, StoredValueReplacesTheDefaultAndThePartnerHiveBeatsTheBase)
{
    setDword(kOverrideKey, GetParam().value, 111);
    EXPECT_EQ(load().*GetParam().member, 111u);
    setDword(kPartnerKey, L"priority", 10);
    setDword(kPartnerOverrideKey, GetParam().value, 222);
    EXPECT_EQ(load().*GetParam().member, 222u);
}

INSTANTIATE_TEST_SUITE_P(Values, OverrideValue,
    ::testing::Values(OverrideCase{kFullScreenWaitValue, &SchedulerSettings::fullScreenWait},
                      OverrideCase{kFullScreenPollValue, &SchedulerSettings::fullScreenPoll},
                      OverrideCase{kIdleModePollValue, &SchedulerSettings::idleModePoll},
                      OverrideCase{kIdleModeTimeoutValue, &SchedulerSettings::idleModeTimeout},
                      OverrideCase{kAfterSuspendWaitValue, &SchedulerSettings::afterSuspendWait},
                      OverrideCase{kFutureTaskWindowValue, &SchedulerSettings::futureTaskWindow},
                      OverrideCase{kWinRestartWaitValue, &SchedulerSettings::rebootDelay}),
    [](const auto& info) {
        std::wstring name = info.param.value;
        std::string out;
        for (wchar_t c : name)
            if (c != L'_')
                out += static_cast<char>(c);
        return out;
    });

class AmTaskFlag : public SchedulerSettingsTest, public ::testing::WithParamInterface<std::pair<DWORD, uint32_t>> {};

TEST_P(AmTaskFlag, AnyNonZeroIsStoredAsOne)
{
    setDword(kOverrideKey, kEnableAmTaskValue, GetParam().first);
    EXPECT_EQ(load().amModeEnabled, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Values, AmTaskFlag,
    ::testing::Values(std::pair<DWORD, uint32_t>{5, 1}, std::pair<DWORD, uint32_t>{0, 0},
                      std::pair<DWORD, uint32_t>{0x80000000u, 1}));

// A one-character string fits a DWORD's four bytes, so only the type check can reject it.
struct StringTypedCase {
    const wchar_t* text;
    const wchar_t* error; // a text too long for the 4-byte buffer fails the read itself (E_FAIL)
};

class StringTypedOverride : public SchedulerSettingsTest, public ::testing::WithParamInterface<StringTypedCase> {};

TEST_P(StringTypedOverride, IsIgnored)
{
    setString(kOverrideKey, kFullScreenWaitValue, GetParam().text);
    kstest::LogCapture log;
    EXPECT_EQ(load().fullScreenWait, 21600u);
    EXPECT_LOGGED(log, ETWLogging::LOG_LEVEL_NORMAL,
                  std::wstring(L"Could not read full screen timeout value from registry. Error: ") + GetParam().error +
                      L". Using default value 21600");
}

INSTANTIATE_TEST_SUITE_P(Texts, StringTypedOverride,
                         ::testing::Values(StringTypedCase{L"7", L"8007000d"}, StringTypedCase{L"", L"8007000d"},
                                           StringTypedCase{L"86400", L"80004005"}));

TEST_F(SchedulerSettingsTest, RebootDelayIsReadOnlyOnTheFirstStartSinceBoot)
{
    setDword(kOverrideKey, kWinRestartWaitValue, 900);
    EXPECT_EQ(load(true).rebootDelay, 900u);
    EXPECT_EQ(load(false).rebootDelay, 300u);
}

// The two values written back into the scheduler key: kept when stored right, else seeded.
TEST_F(SchedulerSettingsTest, WriteBacksKeepAProperValueAndSeedTheRest)
{
    const struct {
        const wchar_t* label;
        void (*arrange)();
        const wchar_t* value;
        uint32_t stored;
    } rows[] = {
        {L"idle wait kept",
         [] {
             setDword(kSchedulerKey, kIdleWaitValue, 0);
             setDword(kOverrideKey, kWaitForIdleMasterValue, 1);
         },
         kIdleWaitValue, 0},
        {L"idle wait from the partner master", [] { setDword(kOverrideKey, kWaitForIdleMasterValue, 0); }, kIdleWaitValue, 0},
        {L"mistyped idle wait reseeded", [] { setString(kSchedulerKey, kIdleWaitValue, L"0"); }, kIdleWaitValue, 1},
        {L"finish wait kept", [] { setDword(kSchedulerKey, kTaskFinishWaitValue, 120); }, kTaskFinishWaitValue, 120},
    };
    for (const auto& row : rows) {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kestrel");
        row.arrange();
        const SchedulerSettings settings = load();
        EXPECT_EQ(kstest::readDword(kSchedulerKey, row.value), row.stored) << kstest::narrowForReport(row.label);
        if (std::wstring(row.value) == kTaskFinishWaitValue) {
            EXPECT_EQ(settings.taskFinishWait, row.stored);
        }
    }
}

// The per-task out-of-box wait, looked up by lower-cased task name in the override hives.
constexpr const wchar_t* kOobeKey = L"SOFTWARE\\Kestrel\\Platform\\Settings\\taskscheduler_oobe_wait";

class TaskOobeWaitTest : public kstest::RegistryFixture {};

// A task's own value, found whatever the case of its name; every other task, and a mistyped
// value, gets the global wait.
TEST_F(TaskOobeWaitTest, TaskWithItsOwnValueGetsItAndEveryOtherTheGlobalWait)
{
    EXPECT_EQ(readTaskOobeWait(L"update", 99), 99u);
    setDword(kOobeKey, L"quickscan", 1800);
    setString(kOobeKey, L"update", L"5");
    EXPECT_EQ(readTaskOobeWait(L"QuickScan", 14400), 1800u);
    EXPECT_EQ(readTaskOobeWait(L"update", 14400), 14400u);
}

TEST_F(TaskOobeWaitTest, PartnerValueIsSeenWithoutRestart)
{
    setDword(kOobeKey, L"update", 100);
    EXPECT_EQ(readTaskOobeWait(L"update", 99), 100u);
    setDword(L"SOFTWARE\\Kestrel\\Platform\\overrides\\p\\Settings\\taskscheduler_oobe_wait", L"update", 200);
    setDword(L"SOFTWARE\\Kestrel\\Platform\\overrides\\p", L"priority", 3);
    EXPECT_EQ(readTaskOobeWait(L"update", 99), 200u);
}

} // namespace
