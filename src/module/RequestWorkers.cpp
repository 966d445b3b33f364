// One thread per piece of work: such requests are rare (a person asking), and a thread of its own
// keeps one slow question from delaying another.
#include "module/RequestWorkers.h"

#include "common/SrwLock.h"

#include <memory>
#include <new>

namespace Tessel {
namespace {

struct Job {
    std::function<void(HANDLE)> work;
    HANDLE stop;
};

} // namespace

RequestWorkers::RequestWorkers() : m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

RequestWorkers::~RequestWorkers()
{
    std::vector<Keelwork::unique_handle> threads;
    {
        Keelwork::SrwExclusive hold(m_lock);
        m_stopping = true;
        threads.swap(m_threads);
    }
    if (m_stop)
        ::SetEvent(m_stop.get());
    for (const Keelwork::unique_handle& thread : threads)
        ::WaitForSingleObject(thread.get(), INFINITE);
}

bool RequestWorkers::run(std::function<void(HANDLE stopEvent)> work)
{
    Keelwork::SrwExclusive hold(m_lock);
    if (m_stopping || !m_stop)
        return false;
    std::erase_if(m_threads, [](const Keelwork::unique_handle& thread) {
        return ::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
    });
    std::unique_ptr<Job> job(new (std::nothrow) Job{std::move(work), m_stop.get()});
    if (!job)
        return false;
    Keelwork::unique_handle thread(::CreateThread(nullptr, 0, &RequestWorkers::entry, job.get(), 0, nullptr));
    if (!thread)
        return false;
    job.release();  // the thread owns it now
    m_threads.push_back(std::move(thread));
    return true;
}

DWORD WINAPI RequestWorkers::entry(void* param)
{
    std::unique_ptr<Job> job(static_cast<Job*>(param));
    job->work(job->stop);
    return 0;
}

} // namespace Tessel
