// Threads of the module's own for request work that may take long (questions to other modules over
// the bus, a file's validation): a bus delivery thread hands the work on and returns at once, so no
// bus thread waits for it and no bus question is asked from inside a bus delivery.
//
// Threading: any thread may hand work on. The destructor sets the stop event (a bus question
// waiting on it ends at once) and waits for every thread it started.
#pragma once

#include "common/UniqueHandle.h"

#include <functional>
#include <vector>

namespace Tessel {

class RequestWorkers {
public:
    RequestWorkers();
    ~RequestWorkers();
    RequestWorkers(const RequestWorkers&) = delete;
    RequestWorkers& operator=(const RequestWorkers&) = delete;

    // Runs `work(stopEvent)` on a new thread; false, without running it, when no thread could be
    // made or the workers are stopping. `work` must not throw.
    bool run(std::function<void(HANDLE stopEvent)> work);

private:
    static DWORD WINAPI entry(void* param);

    Keelwork::unique_event m_stop;
    SRWLOCK m_lock = SRWLOCK_INIT;
    bool m_stopping = false;                        // under m_lock
    std::vector<Keelwork::unique_handle> m_threads;  // under m_lock; ended ones go at the next run
};

} // namespace Tessel
