// KsStore::TaskMemory: what this process keeps in memory of its stored tasks for the answers about
// them (each task's picture and history), and when it must be read again. It is kept only while a
// running engine holds the memory: the engine learns of every change to the tasks under the
// enabled key, its own process's through the store's writes and another process's through the
// keys' last-write times, and each change moves the task's generation. What was read under a
// generation stands until it moves. The engine keeps the picture of every task it loads; tasks
// under the disabled key, absent ones and anything read while no engine runs are read from the
// registry every time.
//
// Threading: any thread; one short reader/writer lock.
#pragma once

#include "store/CalendarRule.h"
#include "store/KsTaskInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace KsStore {

// What the answers need of a stored task: where it is kept, its type, its next run or occasion
// count, its retry time after a deferral and its calendar rule.
struct TaskPicture {
    bool disabled = false;
    uint32_t type = 0;
    uint32_t triggerType = 0;
    // Timed tasks: the next run (seconds since 1970). Occasion tasks: the occasions seen.
    uint32_t nextRun = 0;
    // Periodic tasks: the period in seconds. Occasion tasks: the occasions between runs.
    uint32_t defaultFreq = 0;
    uint32_t logonNextRun = 0;  // occasion tasks: the retry time after a deferral, 0 = none
    KsCalendar::CalendarRule rule{};
    // The lane the task runs in (KsTaskInfo.h); zeros when it has none.
    uint32_t maxRunTime = 0;
    bool background = false;
    uint32_t spread = 0;
};

// The picture of a record the store read whole, as a reading of the picture's values alone gives it.
TaskPicture pictureOf(const KSTASKINFO_LANE& record, bool disabled, uint32_t logonNextRun);

namespace TaskMemory {

// While one lives, memory is kept; when the last ends, all that was kept is forgotten.
class Hold {
public:
    Hold();
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
};

// The task's generation (its name as given, any case); 0 while no hold lives: keep nothing.
uint64_t generation(const std::wstring& name);

// The form the memory files a task under: its key name, in one case, as the registry compares.
std::wstring memoryKey(const std::wstring& name);

// Called after every write under the task's keys (or its history's removal), and for every change
// the engine finds; whatever was read of the task before is read again.
void changed(const std::wstring& name);
// A change that names no task: everything is read again.
void changedAll();

// Keeps the picture of an enabled task read under `generation` (nothing for 0 or a disabled one).
void keep(const std::wstring& name, uint64_t generation, const TaskPicture& picture);
// The picture kept under `generation`, if any.
std::optional<TaskPicture> held(const std::wstring& name, uint64_t generation);

// Tells of the task's change as it goes out of scope, once the write is over, whichever way it
// ended: a reading that overtook the write is then not kept.
class ChangeNote {
public:
    explicit ChangeNote(std::wstring name) : m_name(std::move(name)) {}
    ~ChangeNote() { changed(m_name); }
    ChangeNote(const ChangeNote&) = delete;
    ChangeNote& operator=(const ChangeNote&) = delete;

private:
    std::wstring m_name;
};

} // namespace TaskMemory

} // namespace KsStore
