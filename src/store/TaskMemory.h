// KsStore::TaskMemory: when what this process read of a stored task may be kept in memory, and
// when it must be read again. The answers about a task (its picture, its history) keep what they
// read only while a running engine holds the memory: the engine learns of every change to the
// tasks under the enabled key, its own process's through the store's writes and another
// process's through the keys' last-write times, and each change moves the task's generation.
// What was read under a generation stands until it moves. Tasks under the disabled key, absent
// ones and anything read while no engine runs are read from the registry every time.
//
// Threading: any thread; one short reader/writer lock.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace KsStore::TaskMemory {

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

} // namespace KsStore::TaskMemory
