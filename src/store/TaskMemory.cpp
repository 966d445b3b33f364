// The generations of the tasks' kept memory.
#include "store/TaskMemory.h"

#include "common/SrwLock.h"
#include "store/TaskName.h"

#include <unordered_map>

namespace KsStore {
namespace TaskMemory {

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
// Written under g_lock. Generations only grow, so a reading kept under one never matches a later.
unsigned g_holds = 0;
uint64_t g_last = 0;   // the last generation handed out
uint64_t g_floor = 0;  // every task's generation is at least this one: the last change of all
std::unordered_map<std::wstring, uint64_t> g_changed;  // tasks changed since g_floor

struct HeldPicture {
    uint64_t generation = 0;
    TaskPicture picture;
};
// The pictures kept, by memoryKey, each with the generation it was read under: written under
// g_pictureLock, its own so that a reader never waits behind a change's note.
SRWLOCK g_pictureLock = SRWLOCK_INIT;
std::unordered_map<std::wstring, HeldPicture> g_pictures;

// Every letter folded, as the registry folds key names: the runtime's towupper folds only A-Z in
// its default locale, and two names one key holds would be kept apart.
std::wstring foldedKey(const TaskIdentity& identity)
{
    const std::wstring& key = identity.key();
    std::wstring folded(key.size(), L'\0');
    if (!key.empty() && ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.data(), static_cast<int>(key.size()),
                                        folded.data(), static_cast<int>(folded.size()), nullptr, nullptr, 0) == 0)
        return key;
    return folded;
}

void forgetAllLocked()
{
    g_changed.clear();
    g_floor = ++g_last;
}

// The kept pictures go with the last hold; until then a stale one is merely never matched.
void dropPictures()
{
    Keelwork::SrwExclusive hold(g_pictureLock);
    g_pictures.clear();
}

} // namespace

std::wstring memoryKey(const std::wstring& name) { return foldedKey(TaskIdentity(name)); }

Hold::Hold()
{
    Keelwork::SrwExclusive hold(g_lock);
    if (g_holds++ == 0)
        forgetAllLocked();
}

Hold::~Hold()
{
    bool last = false;
    {
        Keelwork::SrwExclusive hold(g_lock);
        last = --g_holds == 0;
        if (last)
            forgetAllLocked();
    }
    if (last)
        dropPictures();
}

uint64_t generation(const std::wstring& name)
{
    {
        Keelwork::SrwShared hold(g_lock);
        if (g_holds == 0)
            return 0;
    }
    // A name that cannot be a key has nothing kept: its converted text may match another's.
    const TaskIdentity identity(name);
    if (!identity.valid())
        return 0;
    const std::wstring key = foldedKey(identity);
    Keelwork::SrwShared hold(g_lock);
    if (g_holds == 0)
        return 0;
    const auto found = g_changed.find(key);
    return found != g_changed.end() ? found->second : g_floor;
}

void changed(const std::wstring& name)
{
    std::wstring key = memoryKey(name);
    Keelwork::SrwExclusive hold(g_lock);
    g_changed[std::move(key)] = ++g_last;
}

void changedAll()
{
    Keelwork::SrwExclusive hold(g_lock);
    forgetAllLocked();
}

void keep(const std::wstring& name, uint64_t generation, const TaskPicture& picture)
{
    if (generation == 0 || picture.disabled)
        return;
    std::wstring key = memoryKey(name);
    Keelwork::SrwExclusive hold(g_pictureLock);
    g_pictures[std::move(key)] = HeldPicture{generation, picture};
}

std::optional<TaskPicture> held(const std::wstring& name, uint64_t generation)
{
    if (generation == 0)
        return std::nullopt;
    const std::wstring key = memoryKey(name);
    Keelwork::SrwShared hold(g_pictureLock);
    const auto found = g_pictures.find(key);
    if (found == g_pictures.end() || found->second.generation != generation)
        return std::nullopt;
    return found->second.picture;
}

} // namespace TaskMemory

TaskPicture pictureOf(const KSTASKINFO_LANE& record, bool disabled, uint32_t logonNextRun)
{
    TaskPicture picture;
    picture.disabled = disabled;
    picture.type = record.dwTaskType;
    picture.triggerType = record.dwTaskTrigType;
    picture.nextRun = record.dwNextRun;
    picture.defaultFreq = record.dwDefaultFreq;
    const bool occasion = record.dwTaskType == KS_TASK_REBOOT || record.dwTaskType == KS_TASK_LOGON;
    picture.logonNextRun = occasion ? logonNextRun : 0;
    // The rule is read for calendar tasks alone; a periodic task's stored one means nothing.
    if (record.dwTaskType == KS_TASK_CUSTOM || record.dwTaskType == KS_TASK_PRESET)
        picture.rule = {record.dwDayOfWeekMask, record.dwInterval, record.dwHour, record.dwMinute};
    picture.maxRunTime = record.dwMaxRunTime;
    picture.background = record.dwBackground != 0;
    picture.spread = record.dwSpread;
    return picture;
}

} // namespace KsStore
