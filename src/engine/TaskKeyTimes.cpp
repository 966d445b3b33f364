// Finding the task keys another process wrote by their last-write times.
#include "engine/TaskKeyTimes.h"

#include "registry/RegKey.h"
#include "store/TaskName.h"

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
    std::map<std::wstring, uint64_t> now;
    std::wstring name;
    FILETIME written;
    LONG rc = ERROR_SUCCESS;
    for (DWORD index = 0; (rc = enumKey(schedulerKey, index, name, written)) == ERROR_SUCCESS; ++index) {
        const uint64_t time = settled(written);
        auto before = m_times.find(name);
        if (before == m_times.end() || before->second == 0 || before->second != unitsOf(written))
            changed.push_back(name);
        if (before != m_times.end())
            m_times.erase(before);
        now.emplace(name, time);
    }
    for (const auto& gone : m_times)
        changed.push_back(gone.first);
    m_times = std::move(now);
    return rc == ERROR_NO_MORE_ITEMS;
}

void TaskKeyTimes::seen(const std::wstring& name, const FILETIME& written)
{
    m_times[name] = settled(written);
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
    m_times.erase(name);
}

} // namespace Keelwork::engine
