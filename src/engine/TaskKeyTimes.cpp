// Finding the task keys another process wrote by their last-write times.
#include "engine/TaskKeyTimes.h"

#include "registry/RegKey.h"
#include "store/TaskName.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace Keelwork::engine {

namespace {

// The registry's key-name buffer: a longer name ends the enumeration with its error.
constexpr DWORD kNameBufferChars = 128;
// A key written within this much of now may be written again within the same tick of the clock
// that stamps it (15.6 ms on Windows by default), keeping its time: it is kept as not seen, so the
// next look reads it again.
constexpr uint64_t kUnsettledUnits = 320'000;  // 32 ms in 100 ns units

uint64_t unitsOf(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t hashOf(const std::wstring& name)
{
    return std::hash<std::wstring>{}(name);
}

// The time as remembered: 0 (never matches) while it may still move within its tick.
uint64_t settled(const FILETIME& written)
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t units = unitsOf(written);
    return units + kUnsettledUnits > unitsOf(now) ? 0 : units;
}

} // namespace

LONG TaskKeyTimes::enumKey(const CRegKey& schedulerKey, DWORD index, std::wstring& name, FILETIME& written)
{
    wchar_t buffer[kNameBufferChars] = {};
    DWORD chars = kNameBufferChars;
    LONG rc = ::RegEnumKeyExW(schedulerKey.get(), index, buffer, &chars, nullptr, nullptr, nullptr, &written);
    if (rc == ERROR_SUCCESS)
        name = KsStore::TaskIdentity(buffer).key();
    return rc;
}

bool TaskKeyTimes::changes(const CRegKey& schedulerKey, std::vector<std::wstring>& changed)
{
    settle();
    std::vector<Entry> now;
    now.reserve(m_times.size());
    std::wstring name;
    FILETIME written;
    LONG rc = ERROR_SUCCESS;
    for (DWORD index = 0; (rc = enumKey(schedulerKey, index, name, written)) == ERROR_SUCCESS; ++index) {
        const uint64_t hash = hashOf(name);
        const auto before = find(hash);
        if (before == m_times.end() || before->second == 0 || before->second != unitsOf(written))
            changed.push_back(name);
        now.emplace_back(hash, settled(written));
    }
    m_times = std::move(now);
    m_sorted = false;
    return rc == ERROR_NO_MORE_ITEMS;
}

bool TaskKeyTimes::has(const std::wstring& name) const
{
    settle();
    return find(hashOf(name)) != m_times.end();
}

void TaskKeyTimes::seen(const std::wstring& name, const FILETIME& written)
{
    // Appended, and sorted once when next looked up: a whole gather costs one sort.
    m_times.emplace_back(hashOf(name), settled(written));
    m_sorted = false;
}

void TaskKeyTimes::seenKey(const std::wstring& name, const CRegKey& taskKey)
{
    FILETIME written;
    if (::RegQueryInfoKeyW(taskKey.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, &written) == ERROR_SUCCESS)
        seen(name, written);
    else
        forget(name);
}

void TaskKeyTimes::forget(const std::wstring& name)
{
    settle();
    const auto found = find(hashOf(name));
    if (found != m_times.end())
        m_times.erase(found);
}

void TaskKeyTimes::clear()
{
    m_times.clear();
    m_sorted = true;
}

void TaskKeyTimes::settle() const
{
    if (m_sorted)
        return;
    std::stable_sort(m_times.begin(), m_times.end(),
                     [](const Entry& a, const Entry& b) { return a.first < b.first; });
    // Of the entries of one hash, the last one seen holds.
    auto kept = m_times.begin();
    for (auto it = m_times.begin(); it != m_times.end(); ++it) {
        if (std::next(it) != m_times.end() && std::next(it)->first == it->first)
            continue;
        *kept++ = *it;
    }
    m_times.erase(kept, m_times.end());
    m_sorted = true;
}

std::vector<TaskKeyTimes::Entry>::iterator TaskKeyTimes::find(uint64_t hash) const
{
    const auto found = std::lower_bound(m_times.begin(), m_times.end(), hash,
                                        [](const Entry& entry, uint64_t value) { return entry.first < value; });
    return found != m_times.end() && found->first == hash ? found : m_times.end();
}

} // namespace Keelwork::engine
