// Threads are made as work arrives, up to the pool's size, and live until stop(): a question that
// waits on others' time-outs keeps its worker, and a burst of questions waits in the queue or is
// refused, never costs a thread each.
#include "module/RequestWorkers.h"

#include "common/SrwLock.h"

namespace Tessel {

RequestWorkers::RequestWorkers(size_t workers, size_t queueDepth)
    : m_workerCount(workers), m_queueDepth(queueDepth), m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

RequestWorkers::~RequestWorkers()
{
    stop();
}

RequestWorkers::Handed RequestWorkers::run(std::function<void(HANDLE stopEvent)> work)
{
    Keelwork::SrwExclusive hold(m_lock);
    if (m_stopping || !m_stop)
        return Handed::unavailable;
    if (m_queue.size() >= m_queueDepth)
        return Handed::busy;
    m_queue.push_back(std::move(work));
    if (!addWorkerIfNeeded() && m_threads.empty()) {
        m_queue.pop_back();  // no thread would ever take it
        return Handed::unavailable;
    }
    ::WakeConditionVariable(&m_jobQueued);
    return Handed::accepted;
}

bool RequestWorkers::addWorkerIfNeeded()
{
    if (m_queue.size() <= m_idle || m_threads.size() >= m_workerCount)
        return true;
    Keelwork::unique_handle thread(::CreateThread(nullptr, 0, &RequestWorkers::entry, this, 0, nullptr));
    if (!thread)
        return false;
    m_threads.push_back(std::move(thread));
    return true;
}

void RequestWorkers::stop()
{
    Keelwork::SrwExclusive phase(m_phaseLock);
    std::vector<Keelwork::unique_handle> threads;
    {
        Keelwork::SrwExclusive hold(m_lock);
        m_stopping = true;
        threads.swap(m_threads);
        ::WakeAllConditionVariable(&m_jobQueued);
    }
    if (m_stop)
        ::SetEvent(m_stop.get());
    for (const Keelwork::unique_handle& thread : threads)
        ::WaitForSingleObject(thread.get(), INFINITE);
}

void RequestWorkers::resume()
{
    Keelwork::SrwExclusive phase(m_phaseLock);
    Keelwork::SrwExclusive hold(m_lock);
    if (m_stop)
        ::ResetEvent(m_stop.get());
    m_stopping = false;
}

DWORD WINAPI RequestWorkers::entry(void* param)
{
    static_cast<RequestWorkers*>(param)->serve();
    return 0;
}

// A stopping pool's workers still empty the queue: with the stop event set each job ends at once,
// and its caller gets its answer.
void RequestWorkers::serve()
{
    for (;;) {
        std::function<void(HANDLE)> work;
        {
            Keelwork::SrwExclusive hold(m_lock);
            while (m_queue.empty() && !m_stopping) {
                ++m_idle;
                ::SleepConditionVariableSRW(&m_jobQueued, &m_lock, INFINITE, 0);
                --m_idle;
            }
            if (m_queue.empty())
                return;
            work = std::move(m_queue.front());
            m_queue.pop_front();
        }
        work(m_stop.get());
    }
}

} // namespace Tessel
