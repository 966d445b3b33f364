// CSingleTask's construction and settings, its next-run arithmetic and its deferral report, and
// the reads and writes of its own registry values.
#include "execution/SingleTask.h"

#include "analytics/AnalyticsNames.h"
#include "analytics/TaskEvents.h"
#include "common/Clock.h"
#include "common/TimeText.h"
#include "customization/SchedulePresets.h"
#include "execution/DeferralCodes.h"
#include "execution/TaskExecutionNames.h"
#include "logging/internal_logging.h"
#include "message/JSONFormatter.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"
#include "registry/RegKey.h"
#include "store/ProtectedValue.h"
#include "store/TaskMemory.h"
#include "store/TaskWriteLock.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace {

namespace A = Tessel::Analytics::names;

using namespace KsExecution::names;
constexpr REGSAM kTaskKeyAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY;

struct TaskSetting {
    const wchar_t* name;
    DWORD CSingleTask::*field;
    DWORD defaultValue;
};

} // namespace

CSingleTask::CSingleTask(const wchar_t* pwszName, SingleTaskServices services)
    : CKsTask(pwszName), m_services(std::move(services))
{
}

CSingleTask::~CSingleTask() = default;

// The settings, the launch counters and a bus client (unless the engine lent its own) are read and
// made when the launch starts.
void CSingleTask::prepareLaunch()
{
    readLaunchState();
    if (m_pBus)
        return;
    try {
        m_pBus = std::make_shared<Tessel::MessageBusClient>();
    } catch (...) {
        // The bus library could not be reached: the task still runs, unreported on the bus.
        KSLOG_ERROR(L"Unable to reach the message bus for task %s; its reports will not be published", m_wszName);
    }
}

void CSingleTask::readLaunchState()
{
    m_dwLoadedNextRun = dwNextRun;
    readLaunchSettings();
    Keelwork::CRegKey key;  // one opening for both counters
    if (key.open(HKEY_LOCAL_MACHINE, currentPath(), KEY_QUERY_VALUE | KEY_WOW64_64KEY) == ERROR_SUCCESS) {
        uint32_t read = 0;
        if (KsStore::readProtectedDword(key, KsStore::ValueName::Postponed, read) == 0)
            m_dwMeteredAccessAttemped = read;
        if (KsStore::readProtectedDword(key, KsStore::ValueName::LogonNextRun, read) == 0)
            m_dwLogonNextRun = read;
    }
}

void CSingleTask::readLaunchSettings()
{
    static const TaskSetting kSettings[] = {
        {L"battery_poll_interval", &CSingleTask::m_dwBatteryPollInterval, 3600},
        {L"metered_access_poll_interval", &CSingleTask::m_dwMeteredAccessPollInterval, 3600},
        {L"metered_access_attempts", &CSingleTask::m_dwMeteredAccessAttemptsAllowed, 5},
        {L"stop_updates_on_battery", &CSingleTask::m_dwStopUpdatesOnBattery, 0},
        {L"update_battery_timeout", &CSingleTask::m_dwUpdateBatteryTimeout, 3},
    };
    if (m_services.customization)
        m_customization.InitializeFrom(*m_services.customization);
    else
        m_customization.Initialize();
    KsRegistryOverride& settings = m_customization.GetRegistryOverride();
    settings.OpenKey(kTaskSettingsKey);
    // Read into the defaults, not over the last launch's values: a value removed since then
    // counts as absent.
    for (const TaskSetting& setting : kSettings) {
        uint32_t value = 0;
        this->*setting.field = SUCCEEDED(settings.ReadDwordValue(setting.name, value)) ? value : setting.defaultValue;
    }
}

bool CSingleTask::readTaskDword(const wchar_t* valueName, DWORD& value) const
{
    Keelwork::CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, currentPath(), KEY_QUERY_VALUE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        return false;
    uint32_t read = 0;
    if (KsStore::readProtectedDword(key, valueName, read) != 0)
        return false;
    value = read;
    return true;
}

// Opens rather than creates: a task whose key is gone is not brought back by a late write.
bool CSingleTask::writeTaskDword(const wchar_t* valueName, DWORD value)
{
    const KsStore::TaskMemory::ChangeNote note(m_wszName);
    Keelwork::CRegKey key;
    return key.open(HKEY_LOCAL_MACHINE, currentPath(), kTaskKeyAccess) == ERROR_SUCCESS &&
           KsStore::writeProtectedDword(key, valueName, value) == 0;
}

void CSingleTask::resetOccasions()
{
    dwNextRun = 0;
    writeNextRun(0);
}

bool CSingleTask::writeNextRun(DWORD value)
{
    std::lock_guard<std::mutex> storeLock(KsStore::taskWriteLock());
    DWORD stored = 0;
    if (readTaskDword(KsStore::ValueName::NextRun, stored) && stored != m_dwLoadedNextRun) {
        KSLOG_NORMAL(L"The next run of task %s was changed while it ran (%u); the change is kept", m_wszName, stored);
        dwNextRun = m_dwLoadedNextRun = stored;
        return false;
    }
    if (!writeTaskDword(KsStore::ValueName::NextRun, value))
        return false;
    m_dwLoadedNextRun = value;
    return true;
}

bool CSingleTask::WriteNextRunFromNow(DWORD dwSeconds)
{
    KSLOG_NORMAL(L"_WriteNextRunFromNow 1 task name %s .. task type %ld", m_wszName, dwTaskType);
    const uint32_t now = Keelwork::Clock::current().now();
    switch (dwTaskType) {
    case KS_TASK_SCHEDULED:
    case KS_TASK_CUSTOM:
    case KS_TASK_PRESET:
        dwNextRun = now + dwSeconds;
        KSLOG_NORMAL(L"_WriteNextRunFromNow 2 %ld", dwNextRun);
        KSLOG_NORMAL(L"Default frequency for this task is %d secs. Writing next-run time as %s", dwDefaultFreq,
                     Keelwork::localTimeText(dwNextRun).c_str());
        return writeNextRun(dwNextRun);
    case KS_TASK_REBOOT:
    case KS_TASK_LOGON:
        m_dwLogonNextRun = now + dwSeconds;
        KSLOG_NORMAL(L"_WriteLogonNextRunFromNow 2 %ld", m_dwLogonNextRun);
        return writeTaskDword(KsStore::ValueName::LogonNextRun, m_dwLogonNextRun);
    default:
        return writeNextRun(dwNextRun);
    }
}

bool CSingleTask::WriteNextRunAfterRun()
{
    const uint32_t now = Keelwork::Clock::current().now();
    if (dwTaskType == KS_TASK_SCHEDULED) {
        dwNextRun = now + dwDefaultFreq;
        KSLOG_NORMAL(L"Default frequency for this task is %d secs. Writing next-run time as %s", dwDefaultFreq,
                     Keelwork::localTimeText(dwNextRun).c_str());
    } else if (dwTaskType == KS_TASK_CUSTOM) {
        advanceByCalendar(now);
    } else if (dwTaskType == KS_TASK_PRESET) {
        if (pwszPresetCategory == nullptr) {
            KSLOG_CRITICAL(L"pwszPresetCategory parameter is NULL");
            return false;
        }
        // The catalogue may have changed since the task was stored: the preset is applied afresh.
        KsTaskCustomization customization;
        std::vector<Orbis::SchedulePreset> presets;
        if (FAILED(customization.Initialize()) ||
            FAILED(Orbis::loadSchedulePresets(customization, pwszPresetCategory, presets)))
            return false;
        const Orbis::SchedulePreset* preset = Orbis::findSchedulePreset(presets, dwPresetId);
        if (preset == nullptr)
            return false;
        const uint32_t remembered = dwNextRun;
        Orbis::applySchedulePreset(*preset, *this);
        dwNextRun = m_scheduleFromRunMoment ? remembered : std::max(remembered, now);
        advanceByCalendar(now);
    }
    return writeNextRun(dwNextRun);
}

void CSingleTask::advanceByCalendar(uint32_t now)
{
    if (m_scheduleFromRunMoment)
        computeNextRunAfter(now);
    else
        ComputeNextRun(0);
}

void CSingleTask::SendTaskDeferredMessage(const std::wstring& reason, DWORD code, DWORD dwDeltaTime, DWORD dwError)
{
    KSLOG_INFO(L"Task has been Deferred Name: %s Reason: %s DeferredCode: %d DeltaTime: %d Error: %d", m_wszName,
               reason.c_str(), code, dwDeltaTime, dwError);
    // Members in their fixed order, written by the JSON writer rather than pasted together: a name
    // holding a quotation mark or a control character is escaped, so every client can parse it.
    Tessel::JSONFormatter payload;
    payload.setString(kNameMember, m_wszName);
    payload.setString(kReasonMember, reason);
    if (dwError != 0)
        payload.setUInt(kErrorCodeMember, dwError);
    payload.setUInt(kDeferredCodeMember, code);
    payload.setUInt(kDeltaTimeMember, dwDeltaTime);
    publishReport(std::wstring(kDeferredTopic) + L"." + m_wszName, payload.serialize());
    Tessel::Analytics::sendTaskSchedulerEvent(A::kEventTaskDeferred, A::kActionTaskDeferred, m_wszName,
                                              std::to_wstring(dwError), KsExecution::deferralReasonText(code),
                                              std::to_wstring(dwDeltaTime));
}

void CSingleTask::publishReport(const std::wstring& topic, const std::wstring& payload)
{
    if (!m_pBus)
        return;
    auto message = Tessel::Message::create(topic, kSenderAlias, payload);
    const Tessel::ModuleStatus status = message ? m_pBus->publish(message) : Tessel::MODULE_STATUS_UNSUCCESSFUL;
    if (status != Tessel::MODULE_STATUS_SUCCESS)
        KSLOG_ERROR(L"Failed to publish %s: %ls(%lu)", topic.c_str(), Tessel::moduleStatusName(status),
                    static_cast<unsigned long>(status));
}
