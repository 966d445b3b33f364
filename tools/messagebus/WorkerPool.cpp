// Strand scheduling over a growing set of worker threads.
#include "WorkerPool.h"

#include "common/WinInclude.h"

namespace messagebus {

WorkerPool::WorkerPool(size_t maxWorkers) : m_maxWorkers(maxWorkers) {}

WorkerPool::~WorkerPool()
{
    // Normally joined by drainAndJoin already; a joinable std::thread would terminate the process.
    if (!isWorkerThread())
        drainAndJoin();
}

std::shared_ptr<Strand> WorkerPool::makeStrand()
{
    return std::make_shared<Strand>();
}

void WorkerPool::post(const std::shared_ptr<Strand>& strand, Job job)
{
    std::lock_guard<SlimMutex> lock(m_mutex);
    if (strand->cancelled || (m_stopping && m_workers.empty()))
        return;
    strand->jobs.push_back(std::move(job));
    if (strand->scheduled)
        return;
    strand->scheduled = true;
    m_ready.push_back(strand);
    spawnWorkerIfNeeded();
    m_workAvailable.notify_one();
}

void WorkerPool::spawnWorkerIfNeeded()
{
    if (m_ready.size() <= m_idle || m_workers.size() >= m_maxWorkers)
        return;
    m_workers.emplace_back([this] { workerLoop(); });
}

void WorkerPool::cancel(const std::shared_ptr<Strand>& strand)
{
    std::deque<Job> dropped;
    {
        std::unique_lock<SlimMutex> lock(m_mutex);
        strand->cancelled = true;
        dropped.swap(strand->jobs);
        const uint32_t self = GetCurrentThreadId();
        m_jobFinished.wait(lock, [&] { return strand->runningThread == 0 || strand->runningThread == self; });
    }
    // `dropped` dies here, outside the lock: its captures may release anything.
}

void WorkerPool::waitIdle(const std::shared_ptr<Strand>& strand)
{
    std::unique_lock<SlimMutex> lock(m_mutex);
    const uint32_t self = GetCurrentThreadId();
    if (strand->runningThread == self)
        return;
    m_jobFinished.wait(lock, [&] { return strand->jobs.empty() && strand->runningThread == 0; });
}

void WorkerPool::waitNotRunning(const std::shared_ptr<Strand>& strand)
{
    std::unique_lock<SlimMutex> lock(m_mutex);
    const uint32_t self = GetCurrentThreadId();
    m_jobFinished.wait(lock, [&] { return strand->runningThread == 0 || strand->runningThread == self; });
}

void WorkerPool::drainAndJoin()
{
    std::vector<std::thread> workers;
    {
        std::lock_guard<SlimMutex> lock(m_mutex);
        m_stopping = true;
        m_workAvailable.notify_all();
    }
    // Workers leave only when the ready queue is empty, so everything queued runs first. A worker
    // that is running a job re-queues its strand before looking again, so nothing is stranded.
    for (;;) {
        {
            std::lock_guard<SlimMutex> lock(m_mutex);
            if (m_workers.empty())
                break;
            workers.swap(m_workers);
        }
        for (std::thread& worker : workers)
            worker.join();
        workers.clear();
    }
}

bool WorkerPool::isWorkerThread() const
{
    std::lock_guard<SlimMutex> lock(m_mutex);
    for (const std::thread& worker : m_workers)
        if (worker.get_id() == std::this_thread::get_id())
            return true;
    return false;
}

void WorkerPool::workerLoop()
{
    std::unique_lock<SlimMutex> lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_workAvailable.wait(lock, [this] { return !m_ready.empty() || m_stopping; });
        --m_idle;
        if (m_ready.empty())
            return;
        std::shared_ptr<Strand> strand = std::move(m_ready.front());
        m_ready.pop_front();
        runOne(lock, strand);
    }
}

void WorkerPool::runOne(std::unique_lock<SlimMutex>& lock, const std::shared_ptr<Strand>& strand)
{
    if (strand->jobs.empty()) { // cancelled while queued
        strand->scheduled = false;
        return;
    }
    Job job = std::move(strand->jobs.front());
    strand->jobs.pop_front();
    strand->runningThread = GetCurrentThreadId();
    lock.unlock();
    try {
        job();
    } catch (...) {
        // A callback's exception must not end the worker; the bus has nobody to report it to.
    }
    job = nullptr;
    lock.lock();
    strand->runningThread = 0;
    // Back of the queue rather than running on: a busy subscription does not starve the others.
    if (!strand->jobs.empty() && !strand->cancelled)
        m_ready.push_back(strand);
    else
        strand->scheduled = false;
    m_jobFinished.notify_all();
}

} // namespace messagebus
