// A small fixed pool of the module's own threads for request work that may take long (questions
// to other modules over the bus, a file's validation): a bus delivery thread hands the work on and
// returns at once, so no bus thread waits for it and no bus question is asked from inside a bus
// delivery. What one caller can cost is bounded: at most `workers` threads, at most `queueDepth`
// jobs waiting; beyond that a job is refused at once and its caller answers "busy".
//
// Threading: any thread may hand work on. stop() sets the stop event (a bus question waiting on
// it ends at once), lets the workers finish every job already taken, running or queued, so each
// still answers, and joins them; resume() opens the pool again. The destructor stops.
#pragma once

#include "common/UniqueHandle.h"

#include <deque>
#include <functional>
#include <vector>

namespace Tessel {

class RequestWorkers {
public:
    enum class Handed { accepted, busy, unavailable };

    RequestWorkers(size_t workers, size_t queueDepth);
    ~RequestWorkers();
    RequestWorkers(const RequestWorkers&) = delete;
    RequestWorkers& operator=(const RequestWorkers&) = delete;

    // Queues `work(stopEvent)` for a worker. busy when the queue is full; unavailable, without
    // running it, while stopped or when no worker thread exists or could be made. `work` must not
    // throw.
    Handed run(std::function<void(HANDLE stopEvent)> work);
    void stop();
    void resume();

private:
    static DWORD WINAPI entry(void* param);
    void serve();
    // Under m_lock: a thread more when a queued job has no idle worker to take it.
    bool addWorkerIfNeeded();

    const size_t m_workerCount;
    const size_t m_queueDepth;
    Keelwork::unique_event m_stop;
    SRWLOCK m_phaseLock = SRWLOCK_INIT;  // makes stop() and resume() one at a time
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_jobQueued = CONDITION_VARIABLE_INIT;
    bool m_stopping = false;                          // under m_lock
    size_t m_idle = 0;                                // under m_lock: workers waiting for a job
    std::deque<std::function<void(HANDLE)>> m_queue;  // under m_lock
    std::vector<Keelwork::unique_handle> m_threads;   // under m_lock
};

} // namespace Tessel
