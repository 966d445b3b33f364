// The tasks other threads asked to run now, kept until the engine's next queue build takes them.
// A task asked again before that adds nothing: a suspended engine builds no queue, and its list
// must not grow with every repeat of a request.
//
// Threading: ask from any thread; take on the engine thread.
#pragma once

#include "common/SrwLock.h"
#include "common/WinInclude.h"

#include <algorithm>
#include <string>
#include <vector>

namespace Keelwork::engine {

class RunNowRequests {
public:
    // False when the task is already waiting: the engine has been told of it.
    bool ask(std::wstring key)
    {
        SrwExclusive hold(m_lock);
        if (std::find(m_asked.begin(), m_asked.end(), key) != m_asked.end())
            return false;
        m_asked.push_back(std::move(key));
        return true;
    }
    // Every task asked for so far, in the order first asked; none are kept.
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
