// The words of the engine's state, and the board it is published on.
#include "state/EngineState.h"

#include "common/SrwLock.h"
#include "logging/internal_logging.h"

namespace KsState {

using Keelwork::SrwExclusive;
using Keelwork::SrwShared;

const wchar_t* phaseWord(EnginePhase phase)
{
    switch (phase) {
    case EnginePhase::starting: return L"starting";
    case EnginePhase::startDelay: return L"start delay";
    case EnginePhase::running: return L"running";
    case EnginePhase::suspended: return L"suspended";
    case EnginePhase::connectedStandby: return L"connected standby";
    case EnginePhase::autoMaintenance: return L"auto-maintenance";
    case EnginePhase::stopping: return L"stopping";
    case EnginePhase::stopped: return L"stopped";
    }
    return L"";
}

const wchar_t* reasonWord(EngineReason reason)
{
    switch (reason) {
    case EngineReason::none: return L"";
    case EngineReason::restartPending: return L"restart pending";
    case EngineReason::safeMode: return L"safe mode";
    case EngineReason::installing: return L"product installing";
    case EngineReason::oemSetUp: return L"OEM set-up";
    case EngineReason::outOfBoxWait: return L"out-of-box wait";
    }
    return L"";
}

const wchar_t* holdWord(HoldReason reason)
{
    switch (reason) {
    case HoldReason::none: return L"";
    case HoldReason::outOfBox: return L"out-of-box";
    case HoldReason::idle: return L"idle";
    case HoldReason::fullScreen: return L"full screen";
    case HoldReason::retailDemo: return L"retail demo";
    case HoldReason::maintenanceExclusion: return L"maintenance exclusion";
    }
    return L"";
}

EngineStateBoard::EngineStateBoard() : m_writer(::GetCurrentThreadId()) {}

bool EngineStateBoard::mayWrite() const
{
    const DWORD thread = ::GetCurrentThreadId();
    if (thread == m_writer)
        return true;
    KSLOG_ERROR(L"The engine's state board refused a write from thread %lu; only thread %lu writes it", thread,
                m_writer);
    return false;
}

bool EngineStateBoard::setEngine(const EngineState& state)
{
    if (!mayWrite())
        return false;
    SrwExclusive hold(m_lock);
    m_engine = state;
    if (state.phase == EnginePhase::stopped) {
        for (auto& [name, task] : m_tasks) {
            task.queued = false;
            task.hold = TaskHold{};
        }
    }
    ++m_changes;
    return true;
}

void EngineStateBoard::removeTask(const std::wstring& name)
{
    if (!mayWrite())
        return;
    SrwExclusive hold(m_lock);
    if (m_tasks.erase(name))
        ++m_changes;
}

void EngineStateBoard::endBatch()
{
    if (!mayWrite())
        return;
    SrwExclusive hold(m_lock);
    for (auto& [name, task] : m_tasks) {
        task.queued = false;
        const HoldReason reason = task.hold.reason;
        if (reason == HoldReason::idle || reason == HoldReason::fullScreen || reason == HoldReason::maintenanceExclusion)
            task.hold = TaskHold{};
    }
    ++m_changes;
}

EngineState EngineStateBoard::engine() const
{
    SrwShared hold(m_lock);
    return m_engine;
}

std::pair<EngineState, TaskState> EngineStateBoard::read(const std::wstring& name) const
{
    SrwShared hold(m_lock);
    auto found = m_tasks.find(name);
    return {m_engine, found != m_tasks.end() ? found->second : TaskState{}};
}

std::pair<EngineState, std::map<std::wstring, TaskState>> EngineStateBoard::readAll() const
{
    SrwShared hold(m_lock);
    return {m_engine, m_tasks};
}

namespace {

SRWLOCK g_boardLock = SRWLOCK_INIT;
std::shared_ptr<EngineStateBoard> g_board;  // written under g_boardLock

} // namespace

void publishEngineStateBoard(std::shared_ptr<EngineStateBoard> board)
{
    SrwExclusive hold(g_boardLock);
    g_board = std::move(board);
}

std::shared_ptr<const EngineStateBoard> currentEngineStateBoard()
{
    SrwShared hold(g_boardLock);
    return g_board;
}

} // namespace KsState
