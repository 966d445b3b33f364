// The auto-maintenance (AM) switch. Other modules ask for an AM run from their bus threads; the
// engine thread starts the run when the AM-mode event wakes it, reads the switch between its steps
// and turns it off when the run's queue drains. The answer "Response.Auto.Maintenance.Mode" is
// due each time a request is refused or the switch goes off.
//
// Threading: decide() from any thread, serialized by the lock; on() from any thread.
#pragma once

#include "common/UniqueHandle.h"

#include <atomic>
#include <cstdint>

namespace Keelwork::engine {

// A critical section with a virtual destructor.
class CKsLock {
public:
    CKsLock() { ::InitializeCriticalSection(&m_section); }
    virtual ~CKsLock() { ::DeleteCriticalSection(&m_section); }
    CKsLock(const CKsLock&) = delete;
    CKsLock& operator=(const CKsLock&) = delete;
    void Lock() { ::EnterCriticalSection(&m_section); }
    void Unlock() { ::LeaveCriticalSection(&m_section); }

    // The lock for a scope, released on every path.
    class Held {
    public:
        explicit Held(CKsLock& lock) : m_lock(lock) { m_lock.Lock(); }
        ~Held() { m_lock.Unlock(); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        CKsLock& m_lock;
    };

private:
    CRITICAL_SECTION m_section;
};

class AutoMaintenance {
public:
    AutoMaintenance() = default;
    AutoMaintenance(const AutoMaintenance&) = delete;
    AutoMaintenance& operator=(const AutoMaintenance&) = delete;

    // The unnamed auto-reset event that wakes the engine for a run; null when it cannot be made.
    HANDLE createEvent();
    HANDLE event() const { return m_hAMModeEvent.get(); }
    // Whether the system's global interface table can be made: without it no run is ever started.
    HRESULT createInterfaceTable();
    // "enable_am_task": any non-zero value allows runs.
    void setEnabled(uint32_t enabled) { m_bAMEnabled = enabled != 0 ? 1 : 0; }

    bool on() const { return m_bAMMode.load() != 0; }
    // Applies a request (or the engine's own switch-off); `runnable` says whether the engine is
    // started and not suspended. True when the response is due.
    bool decide(bool bAMMode, bool bInternalCall, bool runnable);

private:
    CKsLock m_lock;
    std::atomic<uint32_t> m_bAMMode{0};  // written under m_lock; read by the engine thread without it
    uint32_t m_bAMEnabled = 1;
    unique_event m_hAMModeEvent;
    bool m_interfaceTable = false;
};

} // namespace Keelwork::engine
