// The task list: loaded and refreshed from the registry, and the removal of old-generation tasks
// (its retail-disabled names are in TaskListRetail.cpp).
#include "engine/TaskList.h"

#include "common/Clock.h"
#include "engine/SchedulerRegistry.h"
#include "engine/TaskKeyTimes.h"
#include "logging/LogAs.h"
#include "registry/RegKey.h"
#include "store/KsTask.h"
#include "store/ProtectedValue.h"
#include "store/TaskMemory.h"
#include "store/TaskName.h"

#include <algorithm>
#include <new>
#include <utility>

namespace Keelwork::engine {

namespace {

constexpr REGSAM kSchedulerKeyAccess = KEY_ALL_ACCESS | KEY_WOW64_64KEY;
// The registry's order of sub-keys, in which a refresh meets the tasks: letters compared regardless of case.
int registryOrder(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) -
           CSTR_EQUAL;
}

bool registryBefore(const std::wstring& a, const std::wstring& b)
{
    return registryOrder(a, b) < 0;
}

// What a re-read leaves of the engine's marks: the out-of-box hold it is given, nothing else.
void markReread(EngineTask& task, DWORD oobeWait)
{
    task.m_bDirty = 1;
    task.m_bLongOverdue = false;
    task.m_dwOobeWait = oobeWait;
    task.m_dwLaunchCount = 0;
    task.m_builderHold = KsState::HoldReason::none;
    task.m_queuedToRunNow = false;
}

} // namespace

std::unique_ptr<EngineTask> TaskList::load(const std::wstring& name, bool* outOfMemory)
{
    // Taken before the reading: a change during it leaves the picture unkept.
    const uint64_t generation = KsStore::TaskMemory::generation(name);
    CKsTask stored(name.c_str());
    if (!stored.Read()) {
        KSLOG_ERROR_AS("CKsTaskManager::_LoadTask",
                       L"There was some error reading the details of task %s into memory. Cannot add this task",
                       name.c_str());
        return nullptr;
    }
    std::unique_ptr<EngineTask> task(new (std::nothrow) EngineTask(stored));
    if (!task) {
        *outOfMemory = true;
        return nullptr;
    }
    readRetryTime(name, *task);
    KsStore::TaskMemory::keep(name, generation, KsStore::pictureOf(*task, stored.disabled(), task->m_dwRetryAt));
    task->m_bDirty = DirtyMark(&m_stamps);
    return task;
}

DWORD TaskList::gatherAll()
{
    KSLOG_NORMAL_AS("CKsTaskManager::GatherAllTasks", L"Getting ready to load all tasks into internal memory list");
    CRegKey key;
    LONG rc = key.open(HKEY_LOCAL_MACHINE, kSchedulerKey, kSchedulerKeyAccess);
    if (rc != ERROR_SUCCESS) {
        KSLOG_WARNING_AS("CKsTaskManager::GatherAllTasks",
                         L"Could not open main task scheduler key. Cannot create list");
        return static_cast<DWORD>(rc);
    }
    std::wstring name;
    FILETIME written;
    DWORD index = 0;
    while ((rc = TaskKeyTimes::enumKey(key, index++, name, written)) == ERROR_SUCCESS && !name.empty()) {
        m_keyTimes.seen(name, written);
        KSLOG_NORMAL_AS("CKsTaskManager::GatherAllTasks", L"Processing and adding task: %s", name.c_str());
        bool outOfMemory = false;
        std::unique_ptr<EngineTask> task = load(name, &outOfMemory);
        if (outOfMemory)
            return ERROR_NOT_ENOUGH_MEMORY;
        if (task) {
            auto [it, fresh] = m_tasks.try_emplace(name);
            if (!fresh)
                unindexTask(it);
            it->second = std::move(task);
            indexTask(it);
        }
    }
    loadRetailDisabled();
    return rc == ERROR_NO_MORE_ITEMS || rc == ERROR_SUCCESS ? 0 : static_cast<DWORD>(rc);
}

bool TaskList::beginRefresh(CRegKey& key)
{
    KSLOG_NORMAL_AS("CKsTaskManager::Refresh", L"A new task was added or deleted. Refreshing our internal memory list");
    if (!loadRetailDisabled())
        KSLOG_INFO_AS("CKsTaskManager::Refresh", L"Failed to read Retail Mode Disabled Tasks");
    if (key.open(HKEY_LOCAL_MACHINE, kSchedulerKey, kSchedulerKeyAccess) != ERROR_SUCCESS) {
        KSLOG_WARNING_AS("CKsTaskManager::Refresh", L"Could not open main task scheduler key. Cannot refresh list");
        return false;
    }
    return true;
}

void TaskList::refresh(const OobeWaitOf& oobeWaitOf, KsState::EngineStateBoard* board)
{
    CRegKey key;
    if (!beginRefresh(key))
        return;
    std::wstring name;
    bool outOfMemory = false;
    std::set<std::wstring> seen;
    FILETIME written;
    m_keyTimes.clear();
    KsStore::TaskMemory::changedAll();
    for (DWORD index = 0;
         !outOfMemory && TaskKeyTimes::enumKey(key, index, name, written) == ERROR_SUCCESS && !name.empty(); ++index) {
        m_keyTimes.seen(name, written);
        refreshOne(name, oobeWaitOf, &outOfMemory);
        seen.insert(name);
    }
    dropUnvisited(board);
    m_kept.clear();
    for (const auto& entry : m_tasks)
        if (seen.count(entry.first) == 0)
            m_kept.insert(entry.first);
}

void TaskList::refreshNames(const std::vector<std::wstring>& names, const OobeWaitOf& oobeWaitOf,
                            KsState::EngineStateBoard* board)
{
    CRegKey key;
    if (!beginRefresh(key))
        return;
    // Each changed task once, spelt as the list holds it, in the order a whole refresh meets it.
    std::vector<std::wstring> changed(m_kept.begin(), m_kept.end());
    for (const std::wstring& posted : names) {
        std::wstring name = KsStore::TaskIdentity(posted).key();
        if (m_tasks.count(name) == 0) {
            auto same = std::find_if(m_tasks.begin(), m_tasks.end(),
                                     [&](const auto& entry) { return registryOrder(entry.first, name) == 0; });
            if (same != m_tasks.end())
                name = same->first;
        }
        changed.push_back(std::move(name));
    }
    std::sort(changed.begin(), changed.end(), registryBefore);
    changed.erase(std::unique(changed.begin(), changed.end(),
                              [](const std::wstring& a, const std::wstring& b) { return registryOrder(a, b) == 0; }),
                  changed.end());
    // A changed task the store no longer holds keeps its marks, as a whole refresh leaves it.
    std::vector<std::pair<std::wstring, uint8_t>> dirtyBefore;
    for (const std::wstring& name : changed) {
        auto found = m_tasks.find(name);
        if (found != m_tasks.end() && found->second)
            dirtyBefore.emplace_back(name, found->second->m_bDirty);
    }
    clearMarksOfUnchanged(changed, oobeWaitOf);
    bool outOfMemory = false;
    m_kept.clear();
    std::vector<std::wstring> vanished;
    for (const std::wstring& name : changed) {
        // Another process's change reaches what this process keeps of the task only this way.
        KsStore::TaskMemory::changed(name);
        CRegKey taskKey;
        if (!outOfMemory && taskKey.open(key.get(), name.c_str(), KEY_QUERY_VALUE | KEY_WOW64_64KEY) == ERROR_SUCCESS) {
            m_keyTimes.seenKey(name, taskKey);
            refreshOne(name, oobeWaitOf, &outOfMemory);
        } else {
            m_keyTimes.forget(name);
            m_kept.insert(name);
            vanished.push_back(name);
        }
    }
    for (const auto& [name, dirty] : dirtyBefore) {
        auto found = m_tasks.find(name);
        if (m_kept.count(name) != 0 && found != m_tasks.end())
            found->second->m_bDirty = dirty;
    }
    std::sort(vanished.begin(), vanished.end());
    dropUnvisited(board, &vanished);
    for (auto kept = m_kept.begin(); kept != m_kept.end();)
        kept = m_tasks.count(*kept) ? std::next(kept) : m_kept.erase(kept);
}

// Every unchanged task is as the store holds it: what a re-read would change is only its marks and
// the retry time a launch leaves in the store (the few log-on and boot tasks). Only the tasks the
// engine marked since are visited, unless it may have marked any (the out-of-box holds).
void TaskList::clearMarksOfUnchanged(const std::vector<std::wstring>& changed, const OobeWaitOf& oobeWaitOf)
{
    auto clear = [&](const std::wstring& name, EngineTask& task) {
        if (std::binary_search(changed.begin(), changed.end(), name, registryBefore))
            return;
        markReread(task, oobeWaitOf(name, &task));
        readRetryTime(name, task);
        if (task.m_dwOobeWait != 0)
            m_markedEverywhere = true;
    };
    std::set<std::wstring> marked;
    marked.swap(m_marked);
    const bool everywhere = std::exchange(m_markedEverywhere, false);
    m_stamps.allReread = ++m_stamps.next;
    if (everywhere) {
        for (auto& [name, task] : m_tasks)
            if (task)
                clear(name, *task);
        return;
    }
    marked.insert(m_due.occasions().begin(), m_due.occasions().end());
    for (const std::wstring& name : marked) {
        auto found = m_tasks.find(name);
        if (found != m_tasks.end() && found->second)
            clear(name, *found->second);
    }
}

// A whole re-read where what changed cannot be told from the keys: the scheduler key would not
// open or its enumeration failed. (The inbox of named changes overflowing is the other case, seen
// by the task manager.)
void TaskList::refreshWritten(const OobeWaitOf& oobeWaitOf, KsState::EngineStateBoard* board)
{
    CRegKey key;
    std::vector<std::wstring> changed;
    if (key.open(HKEY_LOCAL_MACHINE, kSchedulerKey, KEY_READ | KEY_WOW64_64KEY) != ERROR_SUCCESS ||
        !m_keyTimes.changes(key, changed)) {
        refresh(oobeWaitOf, board);
        return;
    }
    // The keys that went: the tasks held that the enumeration no longer found.
    for (const auto& entry : m_tasks)
        if (!m_keyTimes.has(entry.first))
            changed.push_back(entry.first);
    refreshNames(changed, oobeWaitOf, board);
}

void TaskList::refreshOne(const std::wstring& name, const OobeWaitOf& oobeWaitOf, bool* outOfMemory)
{
    KSLOG_NORMAL_AS("CKsTaskManager::_RefreshOne", L"Processing task: %s", name.c_str());
    DWORD oobeWait = 0;
    auto existing = m_tasks.find(name);
    if (existing != m_tasks.end()) {
        KSLOG_NORMAL_AS("CKsTaskManager::_RefreshOne", L"Task %s exists in our internal list. Deleting it",
                        name.c_str());
        if (existing->second)
            oobeWait = oobeWaitOf(name, existing->second.get());
        erase(existing);
    } else {
        oobeWait = oobeWaitOf(name, nullptr);
    }
    KSLOG_NORMAL_AS("CKsTaskManager::_RefreshOne", L"Adding task %s back to the list", name.c_str());
    std::unique_ptr<EngineTask> task = load(name, outOfMemory);
    if (oobeWait != 0)
        m_markedEverywhere = true;
    if (task) {
        markReread(*task, oobeWait);
        indexTask(m_tasks.emplace(name, std::move(task)).first);
    }
}

void TaskList::indexTask(TaskMap::iterator it)
{
    if (EngineTask* task = it->second.get()) {
        task->m_indexedType = task->dwTaskType;
        task->m_indexedRun = task->dwNextRun;
        m_due.add(it->first, task->m_indexedType, task->m_indexedRun);
    }
}

void TaskList::unindexTask(TaskMap::iterator it)
{
    if (const EngineTask* task = it->second.get())
        m_due.remove(it->first, task->m_indexedType, task->m_indexedRun);
}

void TaskList::reindex(const std::wstring& name)
{
    auto found = m_tasks.find(name);
    if (found == m_tasks.end())
        return;
    unindexTask(found);
    indexTask(found);
}

TaskList::TaskMap::iterator TaskList::erase(TaskMap::iterator it)
{
    unindexTask(it);
    return m_tasks.erase(it);
}

void TaskList::dropUnvisited(KsState::EngineStateBoard* board, const std::vector<std::wstring>* candidates)
{
    KSLOG_NORMAL_AS("CKsTaskManager::_DropUnvisited",
                    L"Finished looking at all items in the registry. Now deleting all items in our internal list that "
                    L"are not dirty");
    auto next = [&](TaskMap::iterator from, size_t& at) {
        if (!candidates)
            return from;
        while (at < candidates->size() && m_tasks.count((*candidates)[at]) == 0)
            ++at;
        return at < candidates->size() ? m_tasks.find((*candidates)[at++]) : m_tasks.end();
    };
    size_t at = 0;
    for (auto it = next(m_tasks.begin(), at); it != m_tasks.end();) {
        if (it->second && it->second->m_bDirty == 0) {
            KSLOG_NORMAL_AS("CKsTaskManager::_DropUnvisited",
                            L"Task %s was not found in the registry. So it will be deleted from our internal list",
                            it->first.c_str());
            if (board)
                board->removeTask(it->first);
            it = next(erase(it), at);
        } else {
            it = next(std::next(it), at);
        }
    }
}

DWORD TaskList::deleteZarnTasks()
{
    if (!m_tasks.empty())
        KSLOG_NORMAL_AS("CKsTaskManager::DeleteAllZARNTasks", L"Deleting all zarn_ tasks");
    const std::wstring prefix = kZarnTaskPrefix;
    for (auto it = m_tasks.begin(); it != m_tasks.end();) {
        if (it->first.compare(0, prefix.size(), prefix) != 0 || it->first.size() < prefix.size()) {
            ++it;
            continue;
        }
        KSLOG_NORMAL_AS("CKsTaskManager::DeleteAllZARNTasks", L"Deleting task %s", it->first.c_str());
        CKsTask(it->first.c_str()).Delete();
        it = erase(it);
    }
    return 0;
}

void TaskList::clear()
{
    KSLOG_NORMAL_AS("CKsTaskManager::_EmptyTaskList", L"Emptying task list and deleting all tasks (From Memory)");
    m_tasks.clear();
    m_kept.clear();
    m_keyTimes.clear();
    m_due.clear();
}

void TaskList::readRetryTime(const std::wstring& name, EngineTask& task)
{
    task.m_dwRetryAt = 0;
    if (!isOccasion(task.dwTaskType))
        return;
    CRegKey key;
    uint32_t value = 0;
    if (key.open(HKEY_LOCAL_MACHINE, CKsTask(name.c_str()).currentPath(), KEY_QUERY_VALUE | KEY_WOW64_64KEY) ==
            ERROR_SUCCESS &&
        KsStore::readProtectedDword(key, KsStore::ValueName::LogonNextRun, value) == 0)
        task.m_dwRetryAt = value;
}

} // namespace Keelwork::engine
