// Keelwork::monitored_reg_key: a registry key plus one watcher thread that runs a callback after
// each change of the key.
//
// Lifetime: stopping, closing, re-opening and destruction all stop the watcher first and wait
// for a callback in flight to return, so the callback never runs on a dead object.
// Threading: the callback runs on the watcher thread; start/stop belong to the owner and must not
// race with each other. Stop (and so close, open, create and destruction) must come from a thread
// other than the watcher: stopping from inside the callback throws
// std::system_error(resource_deadlock_would_occur), which the callback invocation catches and
// logs; the object must never be destroyed from inside its own callback.
// The first watch is armed by startMonitoring itself, so every change made after it returns is
// seen. A registry notification fires once, so the watcher re-arms after every callback; changes
// made while the callback runs may merge into one further callback or, once the callback has read
// the key, go unreported until the next change. A re-arm that fails (the key was deleted) ends
// monitoring silently.
#pragma once

#include "common/UniqueHandle.h"
#include "registry/RegKey.h"

#include <functional>
#include <thread>

namespace Keelwork {

class monitored_reg_key {
public:
    using callback_type = std::function<void()>;

    monitored_reg_key() = default;
    monitored_reg_key(const monitored_reg_key&) = delete;
    monitored_reg_key& operator=(const monitored_reg_key&) = delete;

    // Virtual operations, in their fixed slot order.
    virtual ~monitored_reg_key();                                                          // 0
    virtual LONG createKey(HKEY root, const wchar_t* path, REGSAM access);                 // 1
    virtual LONG openKey(HKEY root, const wchar_t* path, REGSAM access);                   // 2
    virtual void closeKey();                                                               // 3
    // False when the key is not open, the callback is empty, a watcher already exists, the first
    // watch cannot be armed or the thread cannot be started. filter takes REG_NOTIFY_CHANGE_* flags.
    virtual bool startMonitoring(callback_type callback, bool watchSubtree, DWORD filter); // 4
    virtual bool stopMonitoring();                                                         // 5

protected:
    // The watcher: returns the error of the failed notification request that ended it, or 0
    // when it was stopped.
    virtual DWORD registry_callback_thread(bool watchSubtree, DWORD filter);               // 6

public:
    virtual void stopAndClose();                                                           // 7

    // For reads and writes on the watched key; the owner must not re-open it through here.
    CRegKey& key() noexcept { return m_key; }
    const CRegKey& key() const noexcept { return m_key; }
    // True from a successful start until the next stop, even if the watcher ended by itself.
    bool hasWatcher() const noexcept { return m_thread.joinable(); }

private:
    // Requests the next change notification on m_changeEvent.
    LONG arm(bool watchSubtree, DWORD filter);
    void invokeCallback() noexcept;

    CRegKey m_key;
    callback_type m_callback;   // written by the owner only while no watcher runs
    std::thread m_thread;
    unique_event m_stopEvent;   // auto-reset; set to end the watcher
    unique_event m_changeEvent; // auto-reset; signalled by the registry
};

} // namespace Keelwork
