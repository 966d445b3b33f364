// Reading the stored task for the answers, and the board's outcomes completed from the history.
#include "insight/TaskPicture.h"

#include "registry/RegKey.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"
#include "store/TaskName.h"

namespace KsInsight {

bool isTimed(uint32_t type)
{
    return type == KS_TASK_SCHEDULED || type == KS_TASK_CUSTOM || type == KS_TASK_PRESET;
}

bool isOccasion(uint32_t type) { return type == KS_TASK_REBOOT || type == KS_TASK_LOGON; }

namespace {

constexpr REGSAM kReadAccess = KEY_QUERY_VALUE | KEY_WOW64_64KEY;

// A name that cannot be a key names no task; asked first so the store logs no error for it.
bool canBeStored(const std::wstring& name)
{
    return KsStore::isValidTaskKeyName(KsStore::registryTaskName(name.c_str()).c_str());
}

} // namespace

bool isStoredTask(const std::wstring& name)
{
    if (!canBeStored(name))
        return false;
    CKsTask task(name.c_str());
    task.IsDisabled();
    Keelwork::CRegKey key;
    return key.open(HKEY_LOCAL_MACHINE, task.currentPath(), kReadAccess) == ERROR_SUCCESS;
}

std::optional<TaskPicture> readTaskPicture(const std::wstring& name)
{
    if (!canBeStored(name))
        return std::nullopt;
    CKsTask task(name.c_str());
    if (!task.Read())
        return std::nullopt;
    TaskPicture picture;
    picture.disabled = task.disabled();
    picture.type = task.dwTaskType;
    picture.triggerType = task.dwTaskTrigType;
    picture.nextRun = task.dwNextRun;
    picture.defaultFreq = task.dwDefaultFreq;
    picture.rule = {task.dwDayOfWeekMask, task.dwInterval, task.dwHour, task.dwMinute};
    if (isOccasion(picture.type)) {
        Keelwork::CRegKey key;
        uint32_t retry = 0;
        if (key.open(HKEY_LOCAL_MACHINE, task.currentPath(), kReadAccess) == ERROR_SUCCESS &&
            KsStore::readProtectedDword(key, KsStore::ValueName::LogonNextRun, retry) == 0)
            picture.logonNextRun = retry;
    }
    return picture;
}

void completeFromHistory(KsState::TaskState& task, const std::vector<KsStore::HistoryEntry>& history)
{
    using KsStore::HistoryEvent;
    for (const KsStore::HistoryEntry& entry : history) {
        if (entry.event == HistoryEvent::launched && !task.lastLaunch) {
            task.lastLaunch = KsState::LaunchOutcome{entry.time, entry.result,
                                                     entry.exitCodeKnown ? std::optional<uint32_t>(entry.exitCode)
                                                                         : std::nullopt,
                                                     entry.durationMs};
        } else if (entry.event != HistoryEvent::launched && !task.lastDeferral) {
            task.lastDeferral = KsState::DeferralOutcome{entry.time, entry.code, entry.delay, entry.errorCode};
        }
        if (task.lastLaunch && task.lastDeferral)
            return;
    }
}

} // namespace KsInsight
