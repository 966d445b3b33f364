// CKsTaskManager's out-of-box state: OOBE mode, the engine start time, and each task's hold after
// the start (set when the engine starts in OOBE mode or first sees a task, cleared as holds run out).
#include "engine/TaskManager.h"

#include "common/Clock.h"
#include "engine/TaskOobeWait.h"
#include "logging/internal_logging.h"

namespace Keelwork::engine {

// A task that appears after the global wait ran out needs no hold of its own.
DWORD CKsTaskManager::oobeWaitForNewTask(const std::wstring& name)
{
    if (m_tsStartTime == 0 || elapsedSince(m_tsStartTime, Clock::current().now()) >= m_dwGlobalOobeWait)
        return 0;
    KSLOG_NORMAL(L"Checking if OOBE wait exists for task %s", name.c_str());
    DWORD wait = readTaskOobeWait(name, m_dwGlobalOobeWait);
    if (wait != m_dwGlobalOobeWait)
        KSLOG_NORMAL(L"OOBE wait exists for task %s (%d)", name.c_str(), static_cast<int>(wait));
    return wait;
}

DWORD CKsTaskManager::SetOobeModeState(DWORD flag)
{
    m_bIsOobeMode = flag;
    if (flag != 0)
        KSLOG_INFO(L"Task scheduler started in Oobe mode");
    else
        KSLOG_INFO(L"Reset m_bIsOobeMode to FALSE");
    return flag;
}

uint64_t CKsTaskManager::InitTSStartTime()
{
    m_tsStartTime = Clock::current().now();
    if (m_tsStartTime == 0)
        KSLOG_INFO(L"Task scheduler start time is not recorded");
    return m_tsStartTime;
}

uint64_t CKsTaskManager::GetTSStartTime()
{
    if (m_tsStartTime == 0)
        KSLOG_INFO(L"Task scheduler start time is not recorded");
    return m_tsStartTime;
}

DWORD CKsTaskManager::InitOobeWaitPerTask(DWORD globalOobeWait)
{
    m_dwGlobalOobeWait = globalOobeWait;
    if (m_list.tasks().empty())
        return globalOobeWait;
    TaskOobeWaitOverride override;
    if (FAILED(override.initializeResult()))
        KSLOG_ERROR(L"Failed on calling cust.Initialize(REGKEY_PLATFORM_SETTINGS) with hr = %x",
                    override.initializeResult());
    else if (FAILED(override.openResult()))
        KSLOG_NORMAL(L"OpenKey(REGKEY_HALO_SCHEDULER_OOBE_WAIT) failed with hr = %x", override.openResult());
    KSLOG_NORMAL(L"Trying to find oobe_wait per task of all scheduled type tasks and find the minimum value");
    m_list.markedEverywhere();
    DWORD smallest = globalOobeWait;
    for (auto& [name, task] : m_list.tasks()) {
        if (!task) {
            KSLOG_ERROR(L"Unexpected NULL task info detected for task %s", name.c_str());
            continue;
        }
        uint32_t own = 0;
        if (override.available())
            KSLOG_NORMAL(L"Checking if OOBE wait exists for task %s", name.c_str());
        if (override.available() && override.read(name, own)) {
            task->m_dwOobeWait = own;
            KSLOG_NORMAL(L"Successfully read OOBE reboot delay value for task %s, value: %d seconds", name.c_str(),
                         static_cast<int>(own));
            smallest = std::min<DWORD>(smallest, own);
        } else {
            task->m_dwOobeWait = globalOobeWait;
            KSLOG_NORMAL(L"OOBE reboot delay value absent for task %s, set to global value: %d seconds", name.c_str(),
                         static_cast<int>(globalOobeWait));
        }
    }
    return smallest;
}

bool CKsTaskManager::RefreshOobeWaitPerTask()
{
    const uint32_t now = Clock::current().now();
    bool waiting = false;
    bool logonPass = false;
    bool rebootPass = false;
    for (auto& [name, task] : m_list.tasks()) {
        if (!task) {
            KSLOG_ERROR(L"Unexpected NULL task info detected for task %s", name.c_str());
            continue;
        }
        if (task->m_dwOobeWait == 0)
            continue;
        if (m_tsStartTime != 0 && elapsedSince(m_tsStartTime, now) < task->m_dwOobeWait) {
            KSLOG_NORMAL(L"Task %s is on oobe_wait", name.c_str());
            waiting = true;
        } else if (task->dwTaskType == KS_TASK_LOGON) {
            logonPass = true;
        } else if (task->dwTaskType == KS_TASK_REBOOT) {
            rebootPass = true;
        } else {
            task->m_dwOobeWait = 0;
        }
    }
    // The occasion tasks leave their hold in the queue builder, which queues those whose
    // occasions counted during the hold reached their frequency.
    if (logonPass)
        _AddToQ(KS_TASK_LOGON, 1, 0, 0);
    if (rebootPass)
        _AddToQ(KS_TASK_REBOOT, 1, 0, 0);
    return waiting;
}

bool CKsTaskManager::GlobalOobeWaitElapsed() const
{
    return elapsedSince(m_tsStartTime, Clock::current().now()) >= m_dwGlobalOobeWait;
}

} // namespace Keelwork::engine
