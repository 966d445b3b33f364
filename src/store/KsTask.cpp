// CKsTask: loading, saving, deleting and moving one task's registry key.
#include "store/KsTask.h"

#include "common/WinInclude.h"
#include "logging/internal_logging.h"
#include "registry/KeyValueSnapshot.h"
#include "registry/RegKey.h"
#include "store/ProtectedValue.h"
#include "store/TaskHistory.h"
#include "store/TaskMemory.h"
#include "store/TaskName.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>

namespace V = KsStore::ValueName;

namespace {

constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_64KEY;
constexpr REGSAM kWriteAccess = KEY_READ | KEY_WRITE | KEY_WOW64_64KEY;
// Strings are read into 2080 bytes: 1039 characters and the terminator.
constexpr size_t kStringReadChars = 2080 / sizeof(wchar_t);

bool readDword(const Keelwork::KeyValueSnapshot& key, const wchar_t* name, uint32_t& value)
{
    return KsStore::readProtectedDword(key, name, value) == ERROR_SUCCESS;
}

// A value that is missing or unusable (plain, damaged, wrong type) takes the default.
void readDwordOr(const Keelwork::KeyValueSnapshot& key, const wchar_t* name, uint32_t& field, uint32_t defaultValue)
{
    if (!readDword(key, name, field))
        field = defaultValue;
}

void readString(const Keelwork::KeyValueSnapshot& key, const wchar_t* name, wchar_t*& field)
{
    KsStore::freeString(field);
    wchar_t buffer[kStringReadChars];
    if (KsStore::readProtectedString(key, name, buffer, kStringReadChars) == ERROR_SUCCESS)
        field = KsStore::duplicateString(buffer);
}

bool writeDword(Keelwork::CRegKey& key, const wchar_t* name, uint32_t value)
{
    return KsStore::writeProtectedDword(key, name, value) == ERROR_SUCCESS;
}

bool writeString(Keelwork::CRegKey& key, const wchar_t* name, const wchar_t* value)
{
    return KsStore::writeProtectedString(key, name, value) == ERROR_SUCCESS;
}

// Absent strings are skipped, not written empty.
bool writeStringIfPresent(Keelwork::CRegKey& key, const wchar_t* name, const wchar_t* value)
{
    return value == nullptr || writeString(key, name, value);
}

// reboot, logon, scheduled, custom, preset: the types that carry run times and options.
bool hasSchedule(uint32_t type)
{
    return type == KS_TASK_REBOOT || type == KS_TASK_LOGON || type == KS_TASK_SCHEDULED || type == KS_TASK_CUSTOM ||
           type == KS_TASK_PRESET;
}

bool hasCalendar(uint32_t type)
{
    return type == KS_TASK_SCHEDULED || type == KS_TASK_CUSTOM || type == KS_TASK_PRESET;
}

bool countsOccasions(uint32_t type) { return type == KS_TASK_REBOOT || type == KS_TASK_LOGON; }

bool buildKeyPath(wchar_t (&path)[KsStore::kKeyPathChars], const wchar_t* parent, const wchar_t* name)
{
    int n = _snwprintf(path, KsStore::kKeyPathChars, L"%s\\%s", parent, name);
    if (n < 0 || static_cast<size_t>(n) >= KsStore::kKeyPathChars) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

} // namespace

CKsTask::CKsTask(const wchar_t* pwszName) : KSTASKINFO_LANE{}
{
    dwSize = sizeof(KSTASKINFO_LANE);
    nPriority = KS_PRIORITY_DEFAULT;
    dwRunInRetailMode = KsStore::kDefaultRunInRetailMode;

    // The name is kept in its stored form, as the registry sees it; an invalid one only for the log.
    const KsStore::TaskIdentity identity(pwszName);
    const size_t chars = std::min(identity.key().size(), KsStore::kMaxTaskNameChars);
    std::wmemcpy(m_wszName, identity.key().c_str(), chars);
    m_wszName[chars] = L'\0';
    m_bValidName = identity.valid() && buildKeyPath(m_wszKeyPath, KsStore::kSchedulerKeyPath, m_wszName) &&
                   buildKeyPath(m_wszDisabledKeyPath, KsStore::kSchedulerDisabledKeyPath, m_wszName);
    makeEnabledCurrent();
}

CKsTask::~CKsTask() { KsStore::freeStrings(*this); }

bool CKsTask::checkName() const
{
    if (!m_bValidName)
        KSLOG_ERROR(L"Invalid task name '%s'", m_wszName);
    return m_bValidName;
}

void CKsTask::makeEnabledCurrent()
{
    m_bDisabled = false;
    m_pwszCurrentPath = m_wszKeyPath;
}

void CKsTask::makeDisabledCurrent()
{
    m_bDisabled = true;
    m_pwszCurrentPath = m_wszDisabledKeyPath;
}

bool CKsTask::IsDisabled()
{
    if (!checkName()) {
        makeEnabledCurrent();
        return false;
    }
    Keelwork::CRegKey key;
    if (key.open(HKEY_LOCAL_MACHINE, m_wszDisabledKeyPath, kReadAccess) == ERROR_SUCCESS)
        makeDisabledCurrent();
    else
        makeEnabledCurrent();
    return m_bDisabled;
}

bool CKsTask::Read()
{
    if (!checkName())
        return false;
    IsDisabled();
    Keelwork::CRegKey opened;
    if (opened.open(HKEY_LOCAL_MACHINE, m_pwszCurrentPath, kReadAccess) != ERROR_SUCCESS)
        return false;
    // One listing of the key instead of a query per name: most names of a task are absent.
    const Keelwork::KeyValueSnapshot key(opened);

    uint32_t type = KS_TASK_UNKNOWN;
    if (!readDword(key, V::TaskType, type) || type == KS_TASK_UNKNOWN)
        return false;
    dwTaskType = type;
    readDwordOr(key, V::TaskTrigType, dwTaskTrigType, KS_TRIGGER_PROCESS);
    readStrings(key);
    if (pwszTaskTrigger == nullptr || pwszTaskTrigger[0] == L'\0')
        return false;
    if (!readTimes(key))
        return false;
    if (type == KS_TASK_LOGON || hasCalendar(type))
        readOptions(key);
    else
        resetOptions();
    readLane(key);
    return true;
}

void CKsTask::readStrings(const Keelwork::KeyValueSnapshot& key)
{
    readString(key, V::TaskTrigger, pwszTaskTrigger);
    readString(key, V::User, pwszUser);
    readString(key, V::Domain, pwszDomain);
    readString(key, V::Appid, pwszAppid);
    readString(key, V::RuleName, pwszRuleName);
    if (dwTaskTrigType == KS_TRIGGER_PROCESS)
        readString(key, V::TaskParams, pwszTaskParams);
    else
        KsStore::freeString(pwszTaskParams);
    readString(key, V::TaskEventName, pwszTaskEventName);
    if (pwszTaskEventName != nullptr && pwszTaskEventName[0] == L'\0')
        KsStore::freeString(pwszTaskEventName);
}

bool CKsTask::readTimes(const Keelwork::KeyValueSnapshot& key)
{
    // Occasion tasks start counting from 0; timed tasks are useless without their times.
    if (countsOccasions(dwTaskType)) {
        readDwordOr(key, V::NextRun, dwNextRun, 0);
        readDwordOr(key, V::DefaultFreq, dwDefaultFreq, 0);
        return true;
    }
    return readDword(key, V::NextRun, dwNextRun) && readDword(key, V::DefaultFreq, dwDefaultFreq);
}

void CKsTask::readOptions(const Keelwork::KeyValueSnapshot& key)
{
    readDwordOr(key, V::TaskBatteryWise, dwBatteryWise, 0);
    readDwordOr(key, V::TaskMeteredAccessWise, dwMeteredAccessWise, 0);
    if (hasCalendar(dwTaskType)) {
        readDwordOr(key, V::DayOfWeekMask, dwDayOfWeekMask, 0);
        readDwordOr(key, V::Interval, dwInterval, KS_INTERVAL_NONE);
        readDwordOr(key, V::Hour, dwHour, 0);
        readDwordOr(key, V::Minute, dwMinute, 0);
    } else {
        dwDayOfWeekMask = 0;
        dwInterval = KS_INTERVAL_NONE;
        dwHour = 0;
        dwMinute = 0;
    }
    readDwordOr(key, V::RunInUserContext, dwRunInUserContext, 0);
    readDwordOr(key, V::RepeatTask, dwRepeatTask, 0);
    readDwordOr(key, V::RunWhenIdle, dwRunWhenIdle, 0);
    uint32_t priority = 0;
    nPriority = readDword(key, V::Priority, priority) ? static_cast<int32_t>(priority) : KS_PRIORITY_DEFAULT;
    readString(key, V::PresetCategory, pwszPresetCategory);
    readDwordOr(key, V::PresetId, dwPresetId, 0);
    readDwordOr(key, V::RunInRetailMode, dwRunInRetailMode, KsStore::kDefaultRunInRetailMode);
}

void CKsTask::resetOptions()
{
    dwBatteryWise = 0;
    dwMeteredAccessWise = 0;
    dwDayOfWeekMask = 0;
    dwInterval = KS_INTERVAL_NONE;
    dwHour = 0;
    dwMinute = 0;
    dwRunInUserContext = 0;
    dwRepeatTask = 0;
    dwRunWhenIdle = 0;
    nPriority = KS_PRIORITY_DEFAULT;
    KsStore::freeString(pwszPresetCategory);
    dwPresetId = 0;
    dwRunInRetailMode = KsStore::kDefaultRunInRetailMode;
}

// Every type may carry a lane; an unusable value counts as none, like a missing one.
void CKsTask::readLane(const Keelwork::KeyValueSnapshot& key)
{
    readDwordOr(key, V::MaxRunTime, dwMaxRunTime, 0);
    readDwordOr(key, V::Background, dwBackground, 0);
    readDwordOr(key, V::Spread, dwSpread, 0);
}

bool CKsTask::writeLane(Keelwork::CRegKey& key)
{
    const std::pair<const wchar_t*, uint32_t> lane[] = {
        {V::MaxRunTime, dwMaxRunTime}, {V::Background, dwBackground}, {V::Spread, dwSpread}};
    for (const auto& [name, value] : lane) {
        if (value != 0) {
            if (!writeDword(key, name, value))
                return false;
        } else {
            // A modify that clears the member must not leave the old value behind.
            const LONG rc = key.deleteValue(name);
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
                return false;
        }
    }
    return true;
}

bool CKsTask::Write()
{
    if (!checkName())
        return false;
    const KsStore::TaskMemory::ChangeNote note(m_wszName);
    // Checked before the key is created, so a record that can never load leaves nothing behind.
    if (dwTaskType == KS_TASK_UNKNOWN || pwszTaskTrigger == nullptr)
        return false;
    // One stored copy per task: a task created again over its disabled copy (or written disabled
    // over an enabled one) would otherwise be run by the engine while answers read it disabled.
    Keelwork::CRegKey root;
    LONG twin = root.open(HKEY_LOCAL_MACHINE, L"", kWriteAccess);
    if (twin == ERROR_SUCCESS)
        twin = root.deleteSubKey(m_bDisabled ? m_wszKeyPath : m_wszDisabledKeyPath);
    if (twin != ERROR_SUCCESS && twin != ERROR_FILE_NOT_FOUND)
        return false;
    Keelwork::CRegKey key;
    if (key.create(HKEY_LOCAL_MACHINE, m_pwszCurrentPath, kWriteAccess) != ERROR_SUCCESS)
        return false;
    if (!writeCommon(key) || !writeLane(key))
        return false;
    if (!hasSchedule(dwTaskType))
        return true;
    if (dwTaskType == KS_TASK_CUSTOM || dwTaskType == KS_TASK_PRESET)
        ComputeNextRun(0);
    return writeScheduleValues(key);
}

bool CKsTask::writeCommon(Keelwork::CRegKey& key)
{
    return writeDword(key, V::TaskType, dwTaskType) && writeDword(key, V::TaskTrigType, dwTaskTrigType) &&
           writeString(key, V::TaskTrigger, pwszTaskTrigger) &&
           (dwTaskTrigType != KS_TRIGGER_PROCESS || writeStringIfPresent(key, V::TaskParams, pwszTaskParams)) &&
           writeStringIfPresent(key, V::TaskEventName, pwszTaskEventName);
}

bool CKsTask::writeScheduleValues(Keelwork::CRegKey& key)
{
    bool ok = writeDword(key, V::NextRun, dwNextRun) && writeDword(key, V::DefaultFreq, dwDefaultFreq) &&
              writeDword(key, V::TaskBatteryWise, dwBatteryWise) &&
              writeDword(key, V::TaskMeteredAccessWise, dwMeteredAccessWise);
    if (ok && hasCalendar(dwTaskType)) {
        ok = writeDword(key, V::DayOfWeekMask, dwDayOfWeekMask) && writeDword(key, V::Interval, dwInterval) &&
             writeDword(key, V::Hour, dwHour) && writeDword(key, V::Minute, dwMinute) &&
             writeStringIfPresent(key, V::PresetCategory, pwszPresetCategory) &&
             writeDword(key, V::PresetId, dwPresetId);
    }
    return ok && writeDword(key, V::RunInUserContext, dwRunInUserContext) &&
           writeDword(key, V::RepeatTask, dwRepeatTask) && writeDword(key, V::RunWhenIdle, dwRunWhenIdle) &&
           writeDword(key, V::Priority, static_cast<uint32_t>(nPriority)) &&
           writeStringIfPresent(key, V::User, pwszUser) && writeStringIfPresent(key, V::Domain, pwszDomain) &&
           writeDword(key, V::RunInRetailMode, dwRunInRetailMode) &&
           writeStringIfPresent(key, V::Appid, pwszAppid) && writeStringIfPresent(key, V::RuleName, pwszRuleName);
}

long CKsTask::deleteCurrentKey()
{
    const KsStore::TaskMemory::ChangeNote note(m_wszName);
    // The current path is relative to HKEY_LOCAL_MACHINE; delete it from there in the 64-bit view.
    Keelwork::CRegKey root;
    LONG rc = root.open(HKEY_LOCAL_MACHINE, L"", kWriteAccess);
    if (rc == ERROR_SUCCESS)
        rc = root.deleteSubKey(m_pwszCurrentPath);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        KSLOG_ERROR(L"Unable to delete registry key %s, error %d", m_pwszCurrentPath, static_cast<int>(rc));
    return rc;
}

bool CKsTask::Delete()
{
    if (!checkName())
        return false;
    long rc = deleteCurrentKey();
    if (rc == ERROR_FILE_NOT_FOUND)
        KSLOG_ERROR(L"Unable to delete registry key %s, error %d", m_pwszCurrentPath, static_cast<int>(rc));
    if (rc != ERROR_SUCCESS)
        return false;
    // The history goes with the task, once its key is gone; a move (Enable, Disable) keeps it.
    KsStore::TaskHistory::remove(m_wszName);
    return true;
}

// A key that is already gone needs no removal; any other failure stops the move, so the task
// never lives under both parents.
bool CKsTask::Enable()
{
    if (!checkName())
        return false;
    if (!m_bDisabled)
        return true;
    long rc = deleteCurrentKey();
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        return false;
    makeEnabledCurrent();
    return Write();
}

bool CKsTask::Disable()
{
    if (!checkName())
        return false;
    if (m_bDisabled)
        return true;
    long rc = deleteCurrentKey();
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        return false;
    makeDisabledCurrent();
    return Write();
}
