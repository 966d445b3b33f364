// The task history's byte form and its registry value.
#include "store/TaskHistory.h"

#include "common/WinInclude.h"
#include "logging/internal_logging.h"
#include "registry/RegKey.h"
#include "store/KsTaskInfo.h"
#include "store/ProtectedValue.h"
#include "store/TaskMemory.h"
#include "store/TaskName.h"

#include "common/SrwLock.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace KsStore {

namespace {

constexpr uint8_t kMagic[4] = {'K', 's', 'T', 'H'};
constexpr uint16_t kVersion = 2;
constexpr uint16_t kFirstVersion = 1;  // 32-byte entries, no usage
constexpr size_t kHeaderBytes = 8;
constexpr size_t kEntryBytes = 40;
constexpr size_t kFirstEntryBytes = 32;
constexpr size_t kCountOffset = 6;
static_assert(kHeaderBytes + kMaxHistoryEntries * kEntryBytes <= kMaxProtectedDataBytes,
              "a full history must fit one protected value");
constexpr uint8_t kExitCodeKnown = 0x01;
constexpr uint8_t kCpuKnown = 0x02;
constexpr uint8_t kPeakKnown = 0x04;
constexpr uint8_t kLastEvent = static_cast<uint8_t>(HistoryEvent::stopped);
constexpr uint64_t kKiB = 1024;
constexpr REGSAM kView = KEY_WOW64_64KEY;

// Orders every append and removal in this process, so that an append never brings back the
// history of a task deleted meanwhile (see appendLocked).
std::mutex& historyLock()
{
    static std::mutex lock;
    return lock;
}

// The histories read or written while the task memory is kept, by TaskMemory::memoryKey: each
// one whole (newest first) as its value holds it, or none when there was no value. Filled and
// changed under historyLock, after the registry, so a reading never overtakes an append; looked
// up under g_heldLock alone. A damaged or unreadable value is never kept: it is read (and logged)
// every time, as without the memory.
struct HeldHistory {
    uint64_t generation = 0;
    bool stored = false;
    std::vector<HistoryEntry> entries;
};
SRWLOCK g_heldLock = SRWLOCK_INIT;
std::unordered_map<std::wstring, HeldHistory> g_held;  // written under g_heldLock and historyLock

// Little-endian fields; the target is little-endian.
void putU16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, sizeof v); }
void putU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }
uint16_t getU16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
uint32_t getU32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint32_t saturated(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); }

void encodeEntry(const HistoryEntry& e, uint8_t* p)
{
    putU32(p, e.time);
    p[4] = static_cast<uint8_t>(e.event);
    p[5] = static_cast<uint8_t>((e.exitCodeKnown ? kExitCodeKnown : 0) | (e.cpuMs ? kCpuKnown : 0) |
                                (e.peakMemoryBytes ? kPeakKnown : 0));
    putU16(p + 6, 0);
    const uint32_t fields[] = {e.result, e.exitCode, e.durationMs, e.code, e.delay, e.errorCode};
    for (size_t i = 0; i < 6; ++i)
        putU32(p + 8 + 4 * i, fields[i]);
    putU32(p + 32, saturated(e.cpuMs.value_or(0)));
    putU32(p + 36, saturated((e.peakMemoryBytes.value_or(0) + kKiB - 1) / kKiB));
}

// An entry of the given version's form.
bool decodeEntry(const uint8_t* p, HistoryEntry& e, uint16_t version = kVersion)
{
    const uint8_t knownFlags = version == kFirstVersion ? kExitCodeKnown : kExitCodeKnown | kCpuKnown | kPeakKnown;
    const uint8_t lastEvent = version == kFirstVersion ? static_cast<uint8_t>(HistoryEvent::failed) : kLastEvent;
    if (p[4] > lastEvent || (p[5] & ~knownFlags) != 0 || getU16(p + 6) != 0)
        return false;
    e.time = getU32(p);
    e.event = static_cast<HistoryEvent>(p[4]);
    e.exitCodeKnown = (p[5] & kExitCodeKnown) != 0;
    uint32_t* fields[] = {&e.result, &e.exitCode, &e.durationMs, &e.code, &e.delay, &e.errorCode};
    for (size_t i = 0; i < 6; ++i)
        *fields[i] = getU32(p + 8 + 4 * i);
    if (p[5] & kCpuKnown)
        e.cpuMs = getU32(p + 32);
    if (p[5] & kPeakKnown)
        e.peakMemoryBytes = getU32(p + 36) * kKiB;
    return true;
}

// The plain bytes of one history, as stored.
struct Payload {
    uint8_t bytes[kMaxProtectedDataBytes];
    size_t size = 0;

    size_t count() const { return getU16(bytes + kCountOffset); }
    uint16_t version() const { return getU16(bytes + 4); }
    size_t entryBytes() const { return version() == kFirstVersion ? kFirstEntryBytes : kEntryBytes; }
    const uint8_t* entry(size_t index) const { return bytes + kHeaderBytes + index * entryBytes(); }

    void clear()
    {
        std::memcpy(bytes, kMagic, sizeof kMagic);
        putU16(bytes + 4, kVersion);
        putU16(bytes + kCountOffset, 0);
        size = kHeaderBytes;
    }

    bool wellFormed() const
    {
        if (size < kHeaderBytes || std::memcmp(bytes, kMagic, sizeof kMagic) != 0 ||
            (version() != kVersion && version() != kFirstVersion))
            return false;
        if (count() > kMaxHistoryEntries || size != kHeaderBytes + count() * entryBytes())
            return false;
        HistoryEntry ignored;
        for (size_t i = 0; i < count(); ++i)
            if (!decodeEntry(entry(i), ignored, version()))
                return false;
        return true;
    }

    // A first-version history in today's form, entry by entry (a full one still fits).
    void upgrade()
    {
        if (version() == kVersion)
            return;
        std::vector<HistoryEntry> entries(count());
        for (size_t i = 0; i < entries.size(); ++i)
            decodeEntry(entry(i), entries[i], kFirstVersion);
        clear();
        for (const HistoryEntry& e : entries)
            add(e);
    }

    // Entries are kept oldest first, so the newest goes to the end.
    void add(const HistoryEntry& e)
    {
        size_t n = count();
        uint8_t* first = bytes + kHeaderBytes;
        if (n == kMaxHistoryEntries) {
            std::memmove(first, first + kEntryBytes, (n - 1) * kEntryBytes);
            --n;
        }
        encodeEntry(e, first + n * kEntryBytes);
        putU16(bytes + kCountOffset, static_cast<uint16_t>(n + 1));
        size = kHeaderBytes + (n + 1) * kEntryBytes;
    }
};

enum class Stored { absent, present, damaged, failed };

// The payload's entries, newest first, at most maxCount.
std::vector<HistoryEntry> entriesOf(const Payload& payload, size_t maxCount)
{
    // Sized once from the count the value's length was checked against: a list grown entry by
    // entry would take more room than the value holds.
    std::vector<HistoryEntry> entries;
    entries.reserve(std::min(payload.count(), maxCount));
    for (size_t i = payload.count(); i > 0 && entries.size() < maxCount; --i)
        decodeEntry(payload.entry(i - 1), entries.emplace_back(), payload.version());
    return entries;
}

// Under historyLock: what the value now holds, kept when the task's memory is kept.
void keepLocked(const std::wstring& name, uint64_t generation, const Payload* stored)
{
    Keelwork::SrwExclusive hold(g_heldLock);
    if (generation == 0) {
        g_held.erase(TaskMemory::memoryKey(name));
        return;
    }
    HeldHistory& held = g_held[TaskMemory::memoryKey(name)];
    held.generation = generation;
    held.stored = stored != nullptr;
    held.entries = stored ? entriesOf(*stored, kMaxHistoryEntries) : std::vector<HistoryEntry>{};
}

bool isHeld(const std::wstring& name, uint64_t generation)
{
    Keelwork::SrwShared hold(g_heldLock);
    const auto found = g_held.find(TaskMemory::memoryKey(name));
    return generation != 0 && found != g_held.end() && found->second.generation == generation;
}

// The kept history, when it was kept under this generation.
bool readHeld(const std::wstring& name, uint64_t generation, size_t maxCount, HistoryRead& out)
{
    if (generation == 0)
        return false;
    Keelwork::SrwShared hold(g_heldLock);
    const auto found = g_held.find(TaskMemory::memoryKey(name));
    if (found == g_held.end() || found->second.generation != generation)
        return false;
    const std::vector<HistoryEntry>& entries = found->second.entries;
    out.entries.assign(entries.begin(), entries.begin() + static_cast<ptrdiff_t>(std::min(maxCount, entries.size())));
    if (!found->second.stored)
        out.status = Keelwork::ReadStatus::absent();
    return true;
}

// Reads the task's value into payload; error gets the registry's answer when it failed.
Stored readStored(const Keelwork::CRegKey& key, const std::wstring& name, Payload& payload, uint32_t& error)
{
    const uint32_t rc = readProtectedBinary(key, name.c_str(), payload.bytes, payload.size);
    if (rc == ERROR_FILE_NOT_FOUND)
        return Stored::absent;
    if (rc == ERROR_INVALID_DATA)
        return Stored::damaged;
    if (rc != ERROR_SUCCESS) {
        error = rc;
        return Stored::failed;
    }
    return payload.wellFormed() ? Stored::present : Stored::damaged;
}

bool isTaskUnder(const wchar_t* parent, const std::wstring& name)
{
    Keelwork::CRegKey key;
    const std::wstring path = std::wstring(parent) + L"\\" + name;
    return key.open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE | kView) == ERROR_SUCCESS;
}

bool isTaskEnabled(const std::wstring& name) { return isTaskUnder(kSchedulerKeyPath, name); }

bool isTaskStored(const std::wstring& name)
{
    return isTaskEnabled(name) || isTaskUnder(kSchedulerDisabledKeyPath, name);
}

struct AppendOutcome {
    bool appended = false;
    bool damaged = false;
    uint32_t error = 0;
};

AppendOutcome appendLocked(const std::wstring& name, const HistoryEntry& entry)
{
    AppendOutcome out;
    const uint64_t generation = TaskMemory::generation(name);
    Keelwork::CRegKey key;
    LONG rc = key.createSystemOnly(HKEY_LOCAL_MACHINE, kSchedulerHistoryKeyPath, KEY_QUERY_VALUE | KEY_SET_VALUE | kView);
    if (rc != ERROR_SUCCESS) {
        out.error = static_cast<uint32_t>(rc);
        return out;
    }
    Payload payload;
    const Stored stored = readStored(key, name, payload, out.error);
    if (stored == Stored::failed)
        return out;
    out.damaged = stored == Stored::damaged;
    // A history that is there belongs to a stored task: a deletion removes it under the lock,
    // after the task's key. Only a new history needs the task looked up.
    if (stored != Stored::present) {
        if (!isTaskStored(name))
            return out;
        payload.clear();
    }
    payload.upgrade();
    payload.add(entry);
    out.error = writeProtectedBinary(key, name.c_str(), payload.bytes, payload.size);
    out.appended = out.error == ERROR_SUCCESS;
    // Only a history already kept is kept on: the first reading decides whether it may be.
    keepLocked(name, out.appended && isHeld(name, generation) ? generation : 0, &payload);
    return out;
}

} // namespace

const wchar_t* stopReasonWord(uint32_t code)
{
    switch (static_cast<StopReason>(code)) {
    case StopReason::timeLimit: return L"time limit";
    case StopReason::moduleStop: return L"module stop";
    }
    return L"";
}

namespace TaskHistory {

bool append(const wchar_t* taskName, const HistoryEntry& entry)
{
    const TaskIdentity identity(taskName);
    const std::wstring& name = identity.key();
    if (!identity.valid())
        return false;
    AppendOutcome out;
    {
        std::lock_guard<std::mutex> lock(historyLock());
        out = appendLocked(name, entry);
    }
    if (out.damaged)
        KSLOG_WARNING(L"The history of task %s is damaged and is read as empty", name.c_str());
    if (out.error != 0)
        KSLOG_ERROR(L"Unable to write the history of task %s, error %u", name.c_str(), out.error);
    return out.appended;
}

HistoryRead read(const wchar_t* taskName, size_t maxCount)
{
    HistoryRead out;
    const TaskIdentity identity(taskName);
    const std::wstring& name = identity.key();
    if (!identity.valid()) {
        out.status = Keelwork::ReadStatus::absent();
        return out;
    }
    const uint64_t generation = TaskMemory::generation(name);
    if (readHeld(name, generation, maxCount, out))
        return out;
    // Without memory, no lock: a value is replaced whole, so a read sees the history before or
    // after an append. A reading to be kept is ordered with the appends, so none is lost.
    std::unique_lock<std::mutex> ordered(historyLock(), std::defer_lock);
    if (generation != 0)
        ordered.lock();
    Keelwork::CRegKey key;
    LONG rc = key.open(HKEY_LOCAL_MACHINE, kSchedulerHistoryKeyPath, KEY_QUERY_VALUE | kView);
    uint32_t error = rc == ERROR_FILE_NOT_FOUND ? 0 : static_cast<uint32_t>(rc);
    Payload payload;
    Stored stored = error == 0 ? Stored::absent : Stored::failed;
    if (rc == ERROR_SUCCESS)
        stored = readStored(key, name, payload, error);
    if (stored == Stored::present)
        out.entries = entriesOf(payload, maxCount);
    // Kept only for a task under the enabled key, whose every change the engine sees.
    if (generation != 0 && (stored == Stored::present || stored == Stored::absent) && isTaskEnabled(name))
        keepLocked(name, generation, stored == Stored::present ? &payload : nullptr);
    if (ordered.owns_lock())
        ordered.unlock();
    out.damaged = stored == Stored::damaged;
    if (stored == Stored::absent)
        out.status = Keelwork::ReadStatus::absent();
    else if (stored == Stored::failed)
        out.status = Keelwork::ReadStatus::of(static_cast<long>(error));
    if (out.damaged)
        KSLOG_WARNING(L"The history of task %s is damaged and is read as empty", name.c_str());
    if (error != 0)
        KSLOG_ERROR(L"Unable to read the history of task %s, error %u", name.c_str(), error);
    return out;
}

bool remove(const wchar_t* taskName)
{
    const TaskIdentity identity(taskName);
    const std::wstring& name = identity.key();
    if (!identity.valid())
        return true;
    LONG rc;
    {
        std::lock_guard<std::mutex> lock(historyLock());
        Keelwork::CRegKey key;
        rc = key.open(HKEY_LOCAL_MACHINE, kSchedulerHistoryKeyPath, KEY_SET_VALUE | kView);
        if (rc == ERROR_SUCCESS)
            rc = key.deleteValue(name.c_str());
        keepLocked(name, 0, nullptr);
    }
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND)
        return true;
    KSLOG_ERROR(L"Unable to remove the history of task %s, error %ld", name.c_str(), rc);
    return false;
}

} // namespace TaskHistory

} // namespace KsStore
