// The names of the tasks changed by this process, for the engine running in it: a writer posts a
// task's name and the engine's wake event is set; the engine takes every name at once and reads
// only those tasks. Past its capacity the inbox only remembers that it overflowed, and the engine
// then re-reads the whole list. With no engine listening (or more than one) a post is refused and
// the writer wakes the engine by its named event, as another process does.
//
// Threading: any thread.
#pragma once

#include "common/UniqueHandle.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace Keelwork {

class ChangedTasks {
public:
    static constexpr size_t kCapacity = 256;

    struct Taken {
        std::vector<std::wstring> names;  // as posted, in the order posted, repeats kept
        bool overflowed = false;          // names were lost: only a whole re-read is sure
    };

    // The one inbox of this process.
    static ChangedTasks& ofProcess();

    // An engine starts listening: the auto-reset event set by each post, null when none could be made.
    HANDLE attach();
    void detach();
    // False when the post was refused (no single engine listens): the caller wakes the engine otherwise.
    bool post(const std::wstring& name);
    Taken take();

private:
    std::mutex m_mutex;
    unique_event m_wake;
    int m_listeners = 0;
    Taken m_pending;
};

} // namespace Keelwork
