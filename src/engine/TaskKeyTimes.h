// The last-write time of each task key under the enabled scheduler key, as the engine last saw
// it: a write by another process, which names no task, is found by the keys whose time moved and
// the keys that came or went, without reading any task's values.
//
// Threading: the engine thread.
#pragma once

#include "common/WinInclude.h"

#include <cstdint>
#include <map>
#include <string>
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

    // Enumerates every key with its time: `changed` gets the names whose time moved, that came
    // or that went since last seen, and what is seen is now the enumeration. False when the
    // enumeration failed (`changed` is then not to be trusted).
    bool changes(const CRegKey& schedulerKey, std::vector<std::wstring>& changed);
    void seen(const std::wstring& name, const FILETIME& written);
    // The time of the open task key `taskKey`; forgotten when it cannot be read.
    void seenKey(const std::wstring& name, const CRegKey& taskKey);
    void forget(const std::wstring& name);
    void clear() { m_times.clear(); }

private:
    std::map<std::wstring, uint64_t> m_times;
};

} // namespace Keelwork::engine
