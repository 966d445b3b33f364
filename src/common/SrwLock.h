// Holds on a slim reader/writer lock of the system's, released on every path. The system's lock
// rather than the C++ runtime's where other threads come from another copy of the runtime (the bus
// library's) or where a reader must never wait for more than a short write.
#pragma once

#include "common/WinInclude.h"

namespace Keelwork {

class SrwExclusive {
public:
    explicit SrwExclusive(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    ~SrwExclusive() { ::ReleaseSRWLockExclusive(&m_lock); }
    SrwExclusive(const SrwExclusive&) = delete;
    SrwExclusive& operator=(const SrwExclusive&) = delete;

private:
    SRWLOCK& m_lock;
};

class SrwShared {
public:
    explicit SrwShared(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockShared(&m_lock); }
    ~SrwShared() { ::ReleaseSRWLockShared(&m_lock); }
    SrwShared(const SrwShared&) = delete;
    SrwShared& operator=(const SrwShared&) = delete;

private:
    SRWLOCK& m_lock;
};

} // namespace Keelwork
