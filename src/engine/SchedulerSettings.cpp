// Start-up loading of the engine's settings from the scheduler key and the override hives.
#include "engine/SchedulerSettings.h"

#include "customization/KsPartnerCustomizationCommon.h"
#include "engine/SchedulerRegistry.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"

namespace Keelwork::engine {

namespace {

using ETWLogging::LOG_LEVEL_INFORMATION;
using ETWLogging::LOG_LEVEL_NORMAL;

struct OverrideSetting {
    const wchar_t* name;
    uint32_t defaultValue;
    uint32_t level;
    const wchar_t* successText;  // %d value
    const wchar_t* failureText;  // %x error, %d default
};

constexpr REGSAM kSchedulerKeyAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY;
constexpr uint32_t kDefaultIdleWait = 1;
// Each default is the settings' own, written once in SchedulerSettings.
constexpr SchedulerSettings kDefaults{};

constexpr const wchar_t* kFullScreenSuccess =
    L"Successfully read fullscreen execution timeout value from the registry. Value: %d seconds";

// Both full-screen values share one success text: that is how the engine has always logged them.
const OverrideSetting kFullScreenWait{
    kFullScreenWaitValue, kDefaults.fullScreenWait, LOG_LEVEL_NORMAL, kFullScreenSuccess,
    L"Could not read full screen timeout value from registry. Error: %x. Using default value %d"};
const OverrideSetting kFullScreenPoll{
    kFullScreenPollValue, kDefaults.fullScreenPoll, LOG_LEVEL_NORMAL, kFullScreenSuccess,
    L"Could not read full screen poll wait from registry. Error: %x. Using default value %d"};
const OverrideSetting kIdleModePoll{
    kIdleModePollValue, kDefaults.idleModePoll, LOG_LEVEL_INFORMATION,
    L"Successfully read idle mode poll  value from the registry. Value: %d seconds",
    L"Could not read idle mode poll wait from registry. Error: %x. Using default value %d"};
const OverrideSetting kIdleModeTimeout{
    kIdleModeTimeoutValue, kDefaults.idleModeTimeout, LOG_LEVEL_INFORMATION,
    L"Successfully read idle mode exit value from the registry. Value: %d seconds",
    L"Could not read idle mode exit from registry. Error: %x. Using default value %d"};
const OverrideSetting kAfterSuspendWait{
    kAfterSuspendWaitValue, kDefaults.afterSuspendWait, LOG_LEVEL_INFORMATION,
    L"Successfully read out of connected standby wait time from the registry. Value: %d seconds",
    L"Could not read out of CS wait time  from registry. Error: %x. Using default value %d"};
const OverrideSetting kEnableAmTask{
    kEnableAmTaskValue, kDefaults.amModeEnabled, LOG_LEVEL_INFORMATION,
    L"Successfully read out of AM mode falge. AM mode control value: %d",
    L"Could not read out of AM mode control flag. Error: %x. Using default value %d"};
const OverrideSetting kFutureTaskWindow{
    kFutureTaskWindowValue, kDefaults.futureTaskWindow, LOG_LEVEL_INFORMATION,
    L"Successfully read out of AM future task window value. AM future task window value: %d",
    L"Could not read out of AM future task window value. Error: %x. Using default value %d"};
const OverrideSetting kWinRestartWait{
    kWinRestartWaitValue, kDefaults.rebootDelay, LOG_LEVEL_NORMAL,
    L"Successfully read after reboot delay value from the registry. Value: %d seconds",
    L"Could not read after reboot delay value from registry. Error: %x. Using default value %d"};

bool readOverrideDword(KsRegistryOverride& lookup, const wchar_t* name, uint32_t& value, long& error)
{
    error = lookup.ReadDwordValue(name, value);
    return SUCCEEDED(error);
}

uint32_t loadOverride(KsRegistryOverride& lookup, const OverrideSetting& setting)
{
    uint32_t value = 0;
    long error = S_OK;
    if (readOverrideDword(lookup, setting.name, value, error)) {
        KS_LOG(setting.level, setting.successText, value);
        return value;
    }
    KS_LOG(setting.level, setting.failureText, static_cast<unsigned long>(error), setting.defaultValue);
    return setting.defaultValue;
}

} // namespace

void SchedulerSettingsLoader::seedIdleWait()
{
    CRegKey key;
    DWORD idleWait = 0;
    LONG rc = key.open(HKEY_LOCAL_MACHINE, kSchedulerKey, kSchedulerKeyAccess);
    if (rc == ERROR_SUCCESS)
        rc = key.getDwordValue(kIdleWaitValue, idleWait);
    if (rc == ERROR_SUCCESS) {
        KSLOG_NORMAL(L"Successfully read IdleWait value from the registry. Value: %d", idleWait);
        return;
    }
    KSLOG_ERROR(L"Could not read IdleWait value from registry. Error: %d", rc);

    m_customization.GetRegistryOverride().OpenKey(kSettingsOverrideKey);
    uint32_t seed = kDefaultIdleWait;
    long error = S_OK;
    if (readOverrideDword(m_customization.GetRegistryOverride(), kWaitForIdleMasterValue, seed, error)) {
        KSLOG_NORMAL(L"Successfully read wait_for_idle_master value from partner registry. Value: %d", seed);
    } else {
        KSLOG_ERROR(L"Could not read wait_for_idle_master value from partner registry. Error: %d,setting default",
                    error);
        seed = kDefaultIdleWait;
    }
    KSLOG_NORMAL(L"Writing IdleWait value %d to the registry", seed);
    key.setDwordValue(kIdleWaitValue, seed);
}

uint32_t SchedulerSettingsLoader::loadTaskFinishWait()
{
    CRegKey key;
    DWORD finishWait = 0;
    LONG rc = key.open(HKEY_LOCAL_MACHINE, kSchedulerKey, kSchedulerKeyAccess);
    if (rc == ERROR_SUCCESS)
        rc = key.getDwordValue(kTaskFinishWaitValue, finishWait);
    if (rc == ERROR_SUCCESS) {
        KSLOG_NORMAL(L"Successfully read task execution timeout value from the registry. Value: %d seconds", finishWait);
        return finishWait;
    }
    KSLOG_ERROR(L"Could not read task execution timeout value from registry. Error: %d", rc);
    KSLOG_NORMAL(L"Writing default value %d seconds to the registry", kDefaults.taskFinishWait);
    key.setDwordValue(kTaskFinishWaitValue, kDefaults.taskFinishWait);
    return kDefaults.taskFinishWait;
}

namespace {

void createSchedulerKey()
{
    CRegKey key;
    key.create(HKEY_LOCAL_MACHINE, kSchedulerKey, KEY_ALL_ACCESS | KEY_WOW64_64KEY);
}

} // namespace

bool installationInProgress()
{
    CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return false;
    wchar_t media[MAX_PATH] = {};
    DWORD chars = MAX_PATH;
    return key.getStringBuffer(kInstallMediaValue, media, &chars) == ERROR_SUCCESS;
}

void SchedulerSettingsLoader::load(SchedulerSettings& settings, bool firstStartSinceBoot)
{
    createSchedulerKey();
    seedIdleWait();
    settings.taskFinishWait = loadTaskFinishWait();

    KsRegistryOverride& lookup = m_customization.GetRegistryOverride();
    lookup.OpenKey(kSettingsOverrideKey);
    settings.fullScreenWait = loadOverride(lookup, kFullScreenWait);
    settings.fullScreenPoll = loadOverride(lookup, kFullScreenPoll);
    settings.idleModePoll = loadOverride(lookup, kIdleModePoll);
    settings.idleModeTimeout = loadOverride(lookup, kIdleModeTimeout);
    settings.afterSuspendWait = loadOverride(lookup, kAfterSuspendWait);
    settings.amModeEnabled = loadOverride(lookup, kEnableAmTask) != 0 ? 1 : 0;
    settings.futureTaskWindow = loadOverride(lookup, kFutureTaskWindow);
    if (firstStartSinceBoot) {
        lookup.OpenKey(kSettingsOverrideKey);
        settings.rebootDelay = loadOverride(lookup, kWinRestartWait);
    }
}

uint32_t SchedulerSettingsLoader::loadAfterSuspendWait()
{
    KsRegistryOverride& lookup = m_customization.GetRegistryOverride();
    lookup.OpenKey(kSettingsOverrideKey);
    return loadOverride(lookup, kAfterSuspendWait);
}

uint32_t SchedulerSettingsLoader::loadGlobalOobeWait()
{
    m_customization.GetRegistryOverride().OpenKey(kSettingsOverrideKey);
    uint32_t value = 0;
    long error = S_OK;
    if (readOverrideDword(m_customization.GetRegistryOverride(), kOobeWaitValue, value, error)) {
        KSLOG_NORMAL(L"Successfully read OOBE reboot delay value from the registry. Value: %d seconds", value);
        return value;
    }
    KSLOG_ERROR(L"OOBE reboot delay value absent from registry. Error: %x", static_cast<unsigned long>(error));
    return kDefaults.oobeWait;
}

} // namespace Keelwork::engine
