// KsStore::TaskHistory: each task's last launch outcomes, kept in the registry so that they
// survive a module restart and a reboot.
//
// Where: one value per task under HKEY_LOCAL_MACHINE\<kSchedulerHistoryKeyPath>, named by the
// task's key name (TaskIdentity::key). The key is created with a protected DACL that grants full
// control to SYSTEM and to Administrators and nothing to anyone else.
//
// Form: a protected value of logical type REG_BINARY (ProtectedValueCodec.h: enciphered, with a
// keyed tag over all of it) whose plain bytes are, little-endian:
//   0  "KsTH"        magic
//   4  version (2)   u16
//   6  count         u16, at most kMaxHistoryEntries
//   8  count entries of 40 bytes, oldest first:
//        0 time (u32, seconds since 1970 UTC)  4 event (u8)
//        5 flags (u8; bit 0: exit code known, 1: cpuMs known, 2: peak memory known)
//        6 reserved (u16, 0)  8 result  12 exitCode  16 durationMs  20 code  24 delay  28 errorCode
//        32 cpuMs (u32, saturated)  36 peak memory (u32, KiB, rounded up)
// Version 1, written before the tree's usage was kept, has 32-byte entries without the last two
// fields and flags; it still reads, and the next append rewrites it as version 2.
// A value of another type, size, magic or version, with an unknown event or flag, or failing its
// tag reads as an empty history (with a Warning line); the next append starts afresh.
//
// Memory: while the running engine keeps the task memory (TaskMemory.h), a history read once, of a
// task under the enabled key, is kept whole and changed by the appends and removals that write the
// registry, until the task changes; a damaged or unreadable one is read again every time.
//
// Thread-safe: one lock in this process orders every append and removal, so an append never
// brings back the history of a task deleted meanwhile.
#pragma once

#include "common/ReadStatus.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace KsStore {

inline constexpr size_t kMaxHistoryEntries = 50;

enum class HistoryEvent : uint8_t {
    launched = 0, // the program started; exitCode is known when the engine waited for it to end
    deferred = 1, // held back: code is the deferral code, delay the wait before the next look
    refused = 2,  // the program file failed its validation (deferral code 10)
    failed = 3,   // the program did not start (deferral codes 7, 8, 9); result says why
    stopped = 4,  // the engine ended the run's whole tree: code is a StopReason
};

enum class StopReason : uint32_t {
    timeLimit = 1,   // the run lasted longer than the task's limit
    moduleStop = 2,  // the module stopped while the limited run went on
};

// "time limit", "module stop"; "" for a code never written.
const wchar_t* stopReasonWord(uint32_t code);

struct HistoryEntry {
    uint32_t time = 0; // seconds since 1970, UTC
    HistoryEvent event = HistoryEvent::launched;
    bool exitCodeKnown = false;
    uint32_t result = 0;
    uint32_t exitCode = 0;
    uint32_t durationMs = 0;
    uint32_t code = 0;  // deferral code; its reason word is looked up when shown
    uint32_t delay = 0; // seconds
    uint32_t errorCode = 0;
    // The program's tree, as its job counted it, when known: user plus kernel time, and the peak
    // of its committed memory (kept to the KiB above).
    std::optional<uint64_t> cpuMs = std::nullopt;
    std::optional<uint64_t> peakMemoryBytes = std::nullopt;

    bool operator==(const HistoryEntry&) const = default;
};

struct HistoryRead {
    std::vector<HistoryEntry> entries; // newest first
    bool damaged = false;              // a stored value was there but unusable
    // absent: no history is kept for the task; denied: it could not be looked at (no entries).
    Keelwork::ReadStatus status;
};

namespace TaskHistory {

// Adds the entry as the newest, dropping the oldest beyond kMaxHistoryEntries; creates the key
// and the value on first use. False when a history would be started for a task stored under
// neither the enabled nor the disabled parent, or when the registry refused (an Error line).
bool append(const wchar_t* taskName, const HistoryEntry& entry);

// At most maxCount entries, newest first. A missing history is empty and not damaged.
HistoryRead read(const wchar_t* taskName, size_t maxCount = kMaxHistoryEntries);

// Removes the task's history; true when it is gone (or never was).
bool remove(const wchar_t* taskName);

} // namespace TaskHistory

} // namespace KsStore
