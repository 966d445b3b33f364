// A task's identity: the one form of its name under which the store keeps it and every other part
// looks it up (the engine's list and board, the history, run-now requests, the answers, the tool).
// It is made once from a name as given; nothing else converts task names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace KsStore {

enum class TaskNameFault : uint8_t { none, empty, containsNul, tooLong, notOneKey };

// The rule: the letters A-Z are lower-cased and the name goes through the system's ANSI code page
// (what it cannot hold becomes '?'), the way the registry gets it; that text is the key. A name
// that is empty, holds a NUL, is longer than kMaxTaskNameChars after the conversion, or would not
// name exactly one sub-key (a backslash) is no task's name.
class TaskIdentity {
public:
    explicit TaskIdentity(std::wstring_view name);
    // A C string cannot hold a NUL; null counts as empty.
    explicit TaskIdentity(const wchar_t* name);

    bool valid() const { return m_fault == TaskNameFault::none; }
    TaskNameFault fault() const { return m_fault; }
    // The stored form: the task's key name, its history value's name, its board entry. For an
    // invalid name it is the text as far as it converts (none for a NUL), for log lines only.
    const std::wstring& key() const { return m_key; }

private:
    std::wstring m_key;
    TaskNameFault m_fault = TaskNameFault::none;
};

// The sentence a request naming such a task is refused with; "" for none.
const wchar_t* taskNameFaultSentence(TaskNameFault fault);

} // namespace KsStore
