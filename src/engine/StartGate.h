// When the engine may begin running tasks, and what holds it back at its start: an installation of
// the product in progress, the delay after a reboot or a resume, a pending restart and safe mode
// (both suspend the engine for its life). The out-of-box experience is OutOfBox's.
//
// Threading: the engine thread, except completeInstall() (the installer's message, on a bus
// thread) and the two install flags it changes, which are atomic.
#pragma once

#include "state/EngineState.h"

#include <atomic>
#include <cstdint>

namespace Keelwork::engine {

using KsState::EngineReason;
using KsState::EngineState;

class StartGate {
public:
    // Reads whether the product installs, before anything can announce the installation's end.
    void readInstallState();
    bool installing() const { return m_bInstalling.load() != 0; }
    bool installCompleted() const { return m_bInstallCompleted.load() != 0; }
    // The installer's completion: true when it was awaited (the engine is to start at once).
    bool completeInstall();

    // Whether this start is the first since the machine booted; `rebootDelay` ("winrestart_wait")
    // is then the start delay.
    bool checkReboot(uint32_t rebootDelay);
    // A restart pending since an update, or safe mode; none when the engine may run.
    EngineReason checkRestartAndSafeMode();
    bool safeMode() const { return m_bSafeMode; }
    // After a resume from suspend the start delay is "aftersuspend_wait" like after a reboot.
    void resumed() { m_bRebooted = 1; }

    // The start-delay window timer's period of a normal start, in milliseconds (an out-of-box
    // start's is OutOfBox's).
    uint32_t startDelayMs() const;

private:
    std::atomic<uint32_t> m_bInstalling{0};
    std::atomic<uint32_t> m_bInstallCompleted{0};
    uint32_t m_bRebooted = 0;
    uint32_t m_dwRebootDelay = 0;
    bool m_bSafeMode = false;
};

} // namespace Keelwork::engine
