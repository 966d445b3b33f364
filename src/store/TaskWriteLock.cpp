// The process's task write lock.
#include "store/TaskWriteLock.h"

namespace KsStore {

std::mutex& taskWriteLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace KsStore
