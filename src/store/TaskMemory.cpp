// The generations of the tasks' kept memory.
#include "store/TaskMemory.h"

#include "common/SrwLock.h"
#include "store/TaskName.h"

#include <cwctype>
#include <unordered_map>

namespace KsStore::TaskMemory {

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
// Written under g_lock. Generations only grow, so a reading kept under one never matches a later.
unsigned g_holds = 0;
uint64_t g_last = 0;   // the last generation handed out
uint64_t g_floor = 0;  // every task's generation is at least this one: the last change of all
std::unordered_map<std::wstring, uint64_t> g_changed;  // tasks changed since g_floor

void forgetAllLocked()
{
    g_changed.clear();
    g_floor = ++g_last;
}

} // namespace

std::wstring memoryKey(const std::wstring& name)
{
    std::wstring key = TaskIdentity(name).key();
    for (wchar_t& c : key)
        c = static_cast<wchar_t>(std::towupper(c));
    return key;
}

Hold::Hold()
{
    Keelwork::SrwExclusive hold(g_lock);
    if (g_holds++ == 0)
        forgetAllLocked();
}

Hold::~Hold()
{
    Keelwork::SrwExclusive hold(g_lock);
    if (--g_holds == 0)
        forgetAllLocked();
}

uint64_t generation(const std::wstring& name)
{
    // A name that cannot be a key has nothing kept: its converted text may match another's.
    if (!TaskIdentity(name).valid())
        return 0;
    const std::wstring key = memoryKey(name);
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

} // namespace KsStore::TaskMemory
