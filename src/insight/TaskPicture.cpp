// Reading the stored task for the answers, and the board's outcomes completed from the history.
#include "insight/TaskPicture.h"

#include "registry/RegKey.h"
#include "store/KsTaskInfo.h"
#include "store/ProtectedValue.h"
#include "store/TaskMemory.h"
#include "store/TaskName.h"

namespace KsInsight {

bool isTimed(uint32_t type)
{
    return type == KS_TASK_SCHEDULED || type == KS_TASK_CUSTOM || type == KS_TASK_PRESET;
}

bool isOccasion(uint32_t type) { return type == KS_TASK_REBOOT || type == KS_TASK_LOGON; }

namespace {

namespace V = KsStore::ValueName;

constexpr REGSAM kReadAccess = KEY_QUERY_VALUE | KEY_WOW64_64KEY;

// The task's key, looked for under the disabled parent first as the store does. A refusal under
// either parent is told as such: the task may well be there.
Keelwork::ReadStatus openTaskKey(const std::wstring& name, Keelwork::CRegKey& key, bool& disabled)
{
    // A name that cannot be a key names no task; asked first so the store logs no error for it.
    const KsStore::TaskIdentity identity(name);
    if (!identity.valid())
        return Keelwork::ReadStatus::absent();
    for (const wchar_t* parent : {KsStore::kSchedulerDisabledKeyPath, KsStore::kSchedulerKeyPath}) {
        const std::wstring path = std::wstring(parent) + L"\\" + identity.key();
        const auto status = Keelwork::ReadStatus::of(key.open(HKEY_LOCAL_MACHINE, path.c_str(), kReadAccess));
        if (status.kind != Keelwork::ReadKind::absent) {
            disabled = parent == KsStore::kSchedulerDisabledKeyPath;
            return status;
        }
    }
    return Keelwork::ReadStatus::absent();
}

std::optional<TaskPicture> readStoredPicture(const std::wstring& name, Keelwork::ReadStatus& status);

} // namespace

Keelwork::ReadStatus findStoredTask(const std::wstring& name)
{
    // A task whose picture is kept is stored; any other key is looked for.
    if (KsStore::TaskMemory::held(name, KsStore::TaskMemory::generation(name)))
        return Keelwork::ReadStatus{};
    Keelwork::CRegKey key;
    bool disabled = false;
    return openTaskKey(name, key, disabled);
}

bool isStoredTask(const std::wstring& name) { return findStoredTask(name).read(); }

std::optional<TaskPicture> readTaskPicture(const std::wstring& name, Keelwork::ReadStatus& status)
{
    // The generation before the reading: a change during it leaves the reading unkept.
    const uint64_t generation = KsStore::TaskMemory::generation(name);
    if (std::optional<TaskPicture> held = KsStore::TaskMemory::held(name, generation)) {
        status = Keelwork::ReadStatus{};
        return held;
    }
    std::optional<TaskPicture> picture = readStoredPicture(name, status);
    if (picture)
        KsStore::TaskMemory::keep(name, generation, *picture);
    return picture;
}

namespace {

std::optional<TaskPicture> readStoredPicture(const std::wstring& name, Keelwork::ReadStatus& status)
{
    TaskPicture picture;
    Keelwork::CRegKey key;
    status = openTaskKey(name, key, picture.disabled);
    if (!status.read())
        return std::nullopt;
    // Only the values an answer uses, each one round trip to the registry: the store's full read
    // takes some twenty, and under a busy registry each is a chance to wait. A key is a task by
    // the store's own tests: a type, a trigger, and the times of a timed task.
    auto dword = [&key](const wchar_t* value, uint32_t& out) {
        return KsStore::readProtectedDword(key, value, out) == ERROR_SUCCESS;
    };
    wchar_t trigger[2] = {};  // a longer text is cut short: enough to see that there is one
    status = Keelwork::ReadStatus::absent();  // until the record reads as a task's
    if (!dword(V::TaskType, picture.type) || picture.type == KS_TASK_UNKNOWN ||
        KsStore::readProtectedString(key, V::TaskTrigger, trigger, 2) != ERROR_SUCCESS || trigger[0] == L'\0')
        return std::nullopt;
    dword(V::TaskTrigType, picture.triggerType);
    // Both read, as the store's full read does, so that a kept picture and a read one agree.
    const bool hasNextRun = dword(V::NextRun, picture.nextRun);
    const bool hasTimes = dword(V::DefaultFreq, picture.defaultFreq) && hasNextRun;
    if (isTimed(picture.type) && !hasTimes)
        return std::nullopt;
    if (isOccasion(picture.type))
        dword(V::LogonNextRun, picture.logonNextRun);
    if (picture.type == KS_TASK_CUSTOM || picture.type == KS_TASK_PRESET) {
        dword(V::DayOfWeekMask, picture.rule.dayOfWeekMask);
        dword(V::Interval, picture.rule.interval);
        dword(V::Hour, picture.rule.hour);
        dword(V::Minute, picture.rule.minute);
    }
    uint32_t background = 0;
    dword(V::MaxRunTime, picture.maxRunTime);
    dword(V::Background, background);
    dword(V::Spread, picture.spread);
    picture.background = background != 0;
    status = Keelwork::ReadStatus{};
    return picture;
}

} // namespace

void completeFromHistory(KsState::TaskState& task, const std::vector<KsStore::HistoryEntry>& history)
{
    using KsStore::HistoryEvent;
    for (const KsStore::HistoryEntry& entry : history) {
        if (entry.event == HistoryEvent::launched && !task.lastLaunch) {
            task.lastLaunch = KsState::LaunchOutcome{entry.time, entry.result,
                                                     entry.exitCodeKnown ? std::optional<uint32_t>(entry.exitCode)
                                                                         : std::nullopt,
                                                     entry.durationMs, entry.cpuMs, entry.peakMemoryBytes};
        } else if (entry.event != HistoryEvent::launched && entry.event != HistoryEvent::stopped &&
                   !task.lastDeferral) {
            task.lastDeferral = KsState::DeferralOutcome{entry.time, entry.code, entry.delay, entry.errorCode};
        }
        if (task.lastLaunch && task.lastDeferral)
            return;
    }
}

} // namespace KsInsight
