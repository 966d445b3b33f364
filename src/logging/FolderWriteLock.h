// One writer at a time in a log folder, across processes. The owner is kept in a small named
// shared section, so taking a free lock and releasing it need no call into the system (a named
// mutex costs two per line); a waiter sleeps on a named event that a releaser sets when someone
// waits, and takes over from an owner whose process has ended.
#pragma once

#include "common/UniqueHandle.h"

#include <cstdint>
#include <string>

namespace ETWLogging {

class FolderWriteLock {
public:
    // `name`: the same in every process writing the folder. `owner` tells this process from the
    // others and from an earlier process that had the same id; 0: this process's own.
    explicit FolderWriteLock(const std::wstring& name, uint64_t owner = 0);
    ~FolderWriteLock();
    FolderWriteLock(const FolderWriteLock&) = delete;
    FolderWriteLock& operator=(const FolderWriteLock&) = delete;

    // False when the shared objects could not be made: writes are then serialized only in-process.
    bool isShared() const { return m_state != nullptr; }
    // Takes the lock; false when it was not free within `timeoutMs` or is not shared.
    bool acquire(unsigned long timeoutMs);
    void release();

    // How many times a writer of the folder wrote its log.ini, counted by the writers themselves
    // while they hold the lock; 0 when not shared.
    long iniWrites() const;
    void countIniWrite();

    // This process's owner value: its id and its start time.
    static uint64_t processOwner();

private:
    struct State;
    bool ownerEnded(uint64_t owner) const;

    uint64_t m_owner;
    Keelwork::unique_handle m_section;
    Keelwork::unique_event m_released;
    State* m_state = nullptr;
};

// Holds a FolderWriteLock for one write. A wait that times out proceeds without it, so a stuck
// writer in another process delays lines but never loses them.
class FolderWriteGuard {
public:
    FolderWriteGuard(FolderWriteLock& lock, unsigned long timeoutMs) : m_lock(lock), m_owned(lock.acquire(timeoutMs)) {}
    ~FolderWriteGuard()
    {
        if (m_owned)
            m_lock.release();
    }
    FolderWriteGuard(const FolderWriteGuard&) = delete;
    FolderWriteGuard& operator=(const FolderWriteGuard&) = delete;

private:
    FolderWriteLock& m_lock;
    bool m_owned;
};

} // namespace ETWLogging
