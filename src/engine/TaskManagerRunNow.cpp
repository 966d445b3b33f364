// Tasks asked to run now: marked by name, queued at the next queue build through the same holds
// and checks as any due task.
#include "engine/TaskManager.h"

#include "common/Clock.h"
#include "logging/internal_logging.h"

namespace Keelwork::engine {

bool CKsTaskManager::AskRunNow(const std::wstring& name)
{
    if (m_list.tasks().find(name) == m_list.tasks().end()) {
        KSLOG_WARNING(L"Run-now request for task %s, which is not an enabled task; nothing runs", name.c_str());
        return false;
    }
    KSLOG_NORMAL(L"Task %s is asked to run now", name.c_str());
    m_runNow.insert(name);
    return true;
}

DWORD CKsTaskManager::AddRunNowTasksToQ()
{
    const uint32_t now = Clock::current().now();
    for (auto asked = m_runNow.begin(); asked != m_runNow.end();) {
        auto found = m_list.tasks().find(*asked);
        if (found == m_list.tasks().end() || !found->second) {
            asked = m_runNow.erase(asked);  // deleted or disabled since it was asked for
            continue;
        }
        uint32_t elapsed = 0;
        if (oobeHoldActive(*found->second, now, &elapsed) ||
            (!IsTaskAllowedInRetailMode(*asked) && m_services.retailDemo->isRetailDemoMode())) {
            ++asked;
            continue;
        }
        // A task already queued was due: its run is a scheduled one.
        if (!m_queue.contains(*asked)) {
            found->second->m_queuedToRunNow = true;
            m_list.marked(*asked);
        }
        if (enqueue(*asked, *found->second) != 0)
            return ERROR_NOT_ENOUGH_MEMORY;
        asked = m_runNow.erase(asked);
    }
    return 0;
}

} // namespace Keelwork::engine
