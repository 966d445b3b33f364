// The last-write time of each task key under the enabled scheduler key, as the engine last saw
// it: a write by another process, which names no task, is found by the keys whose time moved and
// the keys that came or went, without reading any task's values.
//
// Threading: the engine thread.
#pragma once

#include "common/WinInclude.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Keelwork {
class CRegKey;
}

namespace Keelwork::engine {

class TaskKeyTimes {
public:
    // The sub-key at `index` of the scheduler key: 0 with the task's identity key and its
    // last-write time, or the registry's error.
    static LONG enumKey(const CRegKey& schedulerKey, DWORD index, std::wstring& name, FILETIME& written);

    // Enumerates every key with its time: `changed` gets the names whose time moved or that came
    // since last seen, and what is seen is now the enumeration, so that a key that went is one
    // `has` no longer knows. False when the enumeration failed (`changed` is then not to be
    // trusted).
    bool changes(const CRegKey& schedulerKey, std::vector<std::wstring>& changed);
    bool has(const std::wstring& name) const;
    void seen(const std::wstring& name, const FILETIME& written);
    // The time of the open task key `taskKey`; forgotten when it cannot be read.
    void seenKey(const std::wstring& name, const CRegKey& taskKey);
    void forget(const std::wstring& name);
    void clear();

private:
    // A key is known by a 64-bit hash of its name, 16 bytes a task where a keyed map took some
    // 130. Two names that shared a hash would only be read again more often, never missed: each
    // look finds the other's time.
    using Entry = std::pair<uint64_t, uint64_t>;  // name's hash, time
    // Sorted by hash, one entry a hash, the last one seen kept.
    void settle() const;
    std::vector<Entry>::iterator find(uint64_t hash) const;

    mutable std::vector<Entry> m_times;
    mutable bool m_sorted = true;
};

} // namespace Keelwork::engine
