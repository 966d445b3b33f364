// The out-of-box experience (OOBE) of a factory-fresh machine, in one place: the wait for the OEM
// set-up, the one-shot out-of-box mode, the per-task holds after the start (kept by the task list,
// set and refreshed from here), the start delay they add up to, and leaving the mode once every
// hold ran out.
//
// Threading: the engine thread.
#pragma once

#include "common/WinInclude.h"

#include <cstdint>
#include <functional>

class KsZARNPartnerCustomization;

namespace Keelwork::engine {

class CKsTaskManager;

class OutOfBox {
public:
    // The start's check: waits for the OEM set-up (`waiting` is told once when the wait begins),
    // then reads the mode into the task list and, in out-of-box mode, sets each task's hold. False
    // only when the exit event ended the wait.
    bool check(HANDLE exitEvent, CKsTaskManager& tasks, KsZARNPartnerCustomization& customization,
               const std::function<void()>& waiting);
    // The start delay of an out-of-box start, in milliseconds.
    uint32_t startDelayMs() const;
    // At every timer arm while the mode lasts: leaves it once no task is held and the global wait
    // has passed.
    static void expire(CKsTaskManager& tasks);

private:
    // Waits while the OEM set-up runs ("OOBEDone" 0), re-reading on each change of its key and at
    // least every 30 seconds. False only when the exit event ended the wait.
    static bool _CheckOobedone(HANDLE exitEvent, const std::function<void()>& waiting);
    // "oobemode", deleted once read: the next start is a normal one.
    static uint32_t ReadOobeMode();
    uint32_t _InitOobeWaitPerTask(CKsTaskManager& tasks, uint32_t globalWait);
    static bool _RefreshOobeWaitPerTask(CKsTaskManager& tasks);

    uint32_t m_dwOobeStartDelay = 0;  // seconds; 0: the short delay
};

} // namespace Keelwork::engine
