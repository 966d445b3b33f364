// The bus's worker threads. Work is posted to strands: the jobs of one strand run one at a time in
// the order posted, different strands run concurrently, and the pool grows (up to a cap) when
// every worker is busy so that a blocking job does not hold back other strands.
#pragma once

#include "SlimSync.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace messagebus {

using Job = std::function<void()>;

// One ordered queue of jobs. Its fields are guarded by the pool's mutex.
struct Strand {
    std::deque<Job> jobs;
    bool scheduled = false;      // in the ready queue or running
    bool cancelled = false;      // posts are dropped
    uint32_t runningThread = 0;  // id of the thread running one of its jobs, 0 when none
};

class WorkerPool {
public:
    explicit WorkerPool(size_t maxWorkers);
    ~WorkerPool();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::shared_ptr<Strand> makeStrand();

    // Queues `job` on `strand`; dropped when the strand is cancelled or the pool has stopped.
    void post(const std::shared_ptr<Strand>& strand, Job job);

    // Drops the strand's queued jobs and waits for its job in flight, unless that job is the
    // calling thread's. No job of the strand starts afterwards.
    void cancel(const std::shared_ptr<Strand>& strand);

    // Waits until the strand has neither queued nor running jobs; when the calling thread is the
    // one running its job, waits for nothing.
    void waitIdle(const std::shared_ptr<Strand>& strand);

    // Waits until no job of the strand is running (queued ones may remain), except the caller's own.
    void waitNotRunning(const std::shared_ptr<Strand>& strand);

    // Runs every queued job (including those the jobs post), then joins the workers. Must not be
    // called from a worker.
    void drainAndJoin();

    bool isWorkerThread() const;

private:
    void workerLoop();
    void runOne(std::unique_lock<SlimMutex>& lock, const std::shared_ptr<Strand>& strand);
    void spawnWorkerIfNeeded();

    const size_t m_maxWorkers;
    mutable SlimMutex m_mutex;
    // Written under m_mutex: the ready queue, the counters, the flags, the strands' fields, m_workers.
    std::deque<std::shared_ptr<Strand>> m_ready;
    size_t m_idle = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
    SlimCondition m_workAvailable;
    SlimCondition m_jobFinished;
};

} // namespace messagebus
