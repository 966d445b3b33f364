// CKsTaskManager: the owner of the task list, the due rules and the run queue, which the engine
// knows by one name; it forwards to the part that does the work.
#include "engine/TaskManager.h"

#include "common/ChangedTasks.h"
#include "logging/internal_logging.h"

#include <new>

namespace Keelwork::engine {

CKsTaskManager::CKsTaskManager(DWORD dwFinishWait, HANDLE hExitEvent, TaskManagerServices services)
    : m_rules(services.isConsoleAdmin), m_dwFinishWait(dwFinishWait), m_hExitEvent(hExitEvent),
      m_services(std::move(services))
{
    if (!m_services.retailDemo)
        m_services.retailDemo = std::make_unique<KsPlatform::SystemRetailDemoModeChecker>();
}

CKsTaskManager::~CKsTaskManager()
{
    // The keeper ends every limited tree it still holds as it goes, right after this body.
    if (m_board) {
        for (const auto& [name, state] : m_board->readAll().second)
            if (state.endsAt != 0)
                m_board->changeTask(name, [](TaskState& task) { task.endsAt = 0; });
    }
    _EmptyQ();
    _EmptyTaskList();
}

DWORD CKsTaskManager::GatherAllTasks()
{
    return m_list.gatherAll();
}

TaskList::OobeWaitOf CKsTaskManager::oobeWaitOf()
{
    return [this](const std::wstring& name, const EngineTask* previous) -> DWORD {
        if (m_bIsOobeMode == 0)
            return 0;
        return previous ? previous->m_dwOobeWait : oobeWaitForNewTask(name);
    };
}

// Every task is re-read at start, and where a change cannot be put down to its tasks: the inbox
// overflowed; the scheduler key would not open or its enumeration failed (see
// TaskList::refreshWritten); an auto-maintenance run begins; a run-now request names a task the
// list does not hold. The retail-disabled names are read again by every refresh, so a change to
// them alone needs no whole re-read.
void CKsTaskManager::Refresh(RefreshScope scope)
{
    ChangedTasks::Taken changed;
    if (scope == RefreshScope::named)
        changed = ChangedTasks::ofProcess().take();
    if (scope == RefreshScope::everything || changed.overflowed)
        m_list.refresh(oobeWaitOf(), m_board.get());
    else if (scope == RefreshScope::named)
        m_list.refreshNames(changed.names, oobeWaitOf(), m_board.get());
    else
        m_list.refreshWritten(oobeWaitOf(), m_board.get());
    afterRefresh();
}

void CKsTaskManager::afterRefresh()
{
    // A task deleted and stored again while its item waited keeps that item: the new task runs
    // at its turn, so it reads as queued, as the engine will treat it.
    if (!m_board)
        return;
    for (const std::wstring& name : m_queue.names()) {
        if (m_list.tasks().count(name) != 0)
            m_board->changeTask(name, [](TaskState& state) { state.queued = true; });
    }
}

DWORD CKsTaskManager::DeleteAllZARNTasks()
{
    return m_list.deleteZarnTasks();
}

bool CKsTaskManager::LoadRetailDisabledTasks()
{
    return m_list.loadRetailDisabled();
}

bool CKsTaskManager::IsTaskAllowedInRetailMode(const std::wstring& name)
{
    return m_list.allowedInRetailMode(name);
}

void CKsTaskManager::_EmptyTaskList()
{
    m_list.clear();
}

void CKsTaskManager::_EmptyQ()
{
    KSLOG_NORMAL(L"Emptying any Q items if they exist");
    while (!m_queue.empty())
        m_queue.pop();
}

} // namespace Keelwork::engine
