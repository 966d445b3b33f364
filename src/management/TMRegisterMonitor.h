// Orbis::TMRegisterMonitor: watches one registered task's key (the enabled parent only) and
// runs a callback with the task's name after each change, on the watcher's own thread.
//
// Lifetime: destruction stops the watcher and waits for a callback in flight, so the callback
// never outlives the monitor. It must not be destroyed from inside its own callback.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace Keelwork {
class monitored_reg_key;
}

namespace Orbis {

class TMRegisterMonitor {
public:
    using Callback = std::function<void(const std::wstring& taskName)>;

    // Starts watching at once; a task key that cannot be opened leaves the monitor silent.
    TMRegisterMonitor(const std::wstring& taskName, Callback callback);
    ~TMRegisterMonitor();

    TMRegisterMonitor(const TMRegisterMonitor&) = delete;
    TMRegisterMonitor& operator=(const TMRegisterMonitor&) = delete;

    const std::wstring& taskName() const noexcept { return m_taskName; }
    // True when the key opened and its watcher started.
    bool isWatching() const noexcept;

private:
    std::wstring m_taskName;
    std::shared_ptr<Keelwork::monitored_reg_key> m_watcher;
    Callback m_callback;  // set before the watcher starts, read only by the watcher thread
};

} // namespace Orbis
