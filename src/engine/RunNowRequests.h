// The tasks other threads asked to run now, kept until the engine's next queue build takes them.
//
// Threading: ask from any thread; take on the engine thread.
#pragma once

#include "common/SrwLock.h"
#include "common/WinInclude.h"

#include <string>
#include <vector>

namespace Keelwork::engine {

class RunNowRequests {
public:
    void ask(std::wstring key)
    {
        SrwExclusive hold(m_lock);
        m_asked.push_back(std::move(key));
    }
    // Every request so far, in the order asked; none are kept.
    std::vector<std::wstring> take()
    {
        std::vector<std::wstring> names;
        SrwExclusive hold(m_lock);
        names.swap(m_asked);
        return names;
    }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::vector<std::wstring> m_asked;  // written under m_lock
};

} // namespace Keelwork::engine
