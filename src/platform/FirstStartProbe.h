// Whether this is the first start since boot, told by volatile registry keys (they vanish at
// every restart of Windows). IsFirstStartSinceBoot() uses one process-wide CFirstStartProbe.
#pragma once

#include <mutex>

namespace KsPlatform {

class CFirstStartProbe {
public:
    // Creates the volatile keys on the first successful call and remembers whether the flag key
    // was new; later calls give the remembered answer. A failed creation answers no and is
    // retried next time.
    bool IsFirstStart();

private:
    bool compute(bool& firstStart);

    std::mutex m_lock;
    bool m_known = false;      // written under m_lock
    bool m_firstStart = false; // written under m_lock
};

} // namespace KsPlatform
