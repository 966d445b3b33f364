// The execution pump: one queued task per pump message, held back while the machine is in
// connected standby, updates install, or the pump's holds (idle user, full-screen application)
// keep the head task, each within its limit.
#include "engine/EngineSteps.h"

#include "common/Clock.h"
#include "engine/EngineCodes.h"
#include "engine/EngineNames.h"
#include "engine/HeadTaskDecision.h"
#include "engine/TaskManager.h"
#include "logging/LogAs.h"
#include "platform/PlatformProbes.h"

namespace Keelwork::engine {

void EngineSteps::_TaskExecutionPump()
{
    if (!m_parts.m_pTaskManager)
        return;
    // The decision's questions, answered by the machine and the run queue; the pump's own lines
    // are written from here as the decision reaches the queue.
    class PumpQuestions final : public HeadTaskQuestions {
    public:
        PumpQuestions(SystemPumpProbes& probes, CKsTaskManager& tasks) : m_probes(probes), m_tasks(tasks) {}
        bool connectedStandby() override { return m_probes.connectedStandby(); }
        bool updatesInstalling() override { return m_probes.updateInstalling(); }
        bool idle() override { return m_probes.idle(); }
        bool fullScreen() override { return m_probes.fullScreen(); }
        bool headWaitsForIdle() override { return m_tasks.ShouldTopTaskWaitForIdle(); }
        std::optional<std::wstring> headTask() override
        {
            KSLOG_NORMAL_AS("CKsTaskScheduler::_TaskExecutionPump",
                            L"Task execution pump. If the execution Q is not empty, we will take the top task in the Q "
                            L"and execute it");
            const QueueItem* head = m_tasks.queue().top();
            if (!head)
                return std::nullopt;
            KSLOG_INFO_AS("CKsTaskScheduler::_TaskExecutionPump",
                          L"Fetching task from Queue Name:%s , WaitForIdleMode: %d, ", head->name.c_str(),
                          m_tasks.ShouldTopTaskWaitForIdle() ? 1 : 0);
            return head->name;
        }

    private:
        SystemPumpProbes& m_probes;
        CKsTaskManager& m_tasks;
    };

    m_parts.m_probes.beginStep();
    PumpQuestions questions(m_parts.m_probes, *m_parts.m_pTaskManager);
    const HeadDecision decision = decideHeadTask(questions, m_parts.pumpView(), Clock::current().now(), true);
    m_parts.m_pump.write(decision.after);
    // The head task is not started in this step: what was read for it goes.
    if (decision.step != HeadStep::launch)
        m_parts.m_readAhead.release();
    if (decision.step != HeadStep::connectedStandby)
        move({EngineEvent::standbyOver});
    switch (decision.step) {
    case HeadStep::connectedStandby:
        move(
            {EngineEvent::standbyFound, 0, EngineReason::none, Clock::current().now() + kConnectedStandbyRearmSeconds});
        return;
    case HeadStep::updatesInstalling:
        KSLOG_INFO_AS("CKsTaskScheduler::_TaskExecutionPump", L"Schedule task installing updates. Setting timer");
        _SetTimer(decision.delay);
        return;
    case HeadStep::queueEmpty:
        KSLOG_NORMAL_AS("CKsTaskScheduler::_TaskExecutionPump",
                        L"There are no more items in the Q. Setting waitable timer. Reseting full screen wait flag");
        m_parts.m_pTaskManager->EndBatch();
        _SetTaskWaitableTimer(0);
        return;
    case HeadStep::held:
        m_parts.m_pTaskManager->Hold(decision.head, decision.hold.hold);
        _SetTaskWaitableTimer(decision.hold.lookAgainAt);
        return;
    case HeadStep::launch:
        runTopTask();
        m_parts.m_readAhead.release();  // a launch deferred before its check did not take the file
        return;
    }
}

void EngineSteps::runTopTask()
{
    m_parts.m_pump.write(m_parts.m_pump.read().afterRun(m_parts.m_pTaskManager->ShouldTopTaskWaitForIdle()));
    std::wstring name;
    const DWORD result = m_parts.m_pTaskManager->RunAndPopTopTask(name, m_parts.m_pBus);
    if (result == kStopping) {
        m_parts.m_loop.cancelTimer();
        ::PostQuitMessage(0);  // the exit event stays set: the loop ends at its next wait
    } else if (result == kRestartPending) {
        move({EngineEvent::suspend, 0, EngineReason::restartPending});
        KSLOG_NORMAL_AS("CKsTaskScheduler::_TaskExecutionPump",
                        L"Update task has just run and we have found that a reboot is required. SUSPENDING TASK "
                        L"SCHEDULER");
    } else {
        KSLOG_NORMAL_AS("CKsTaskScheduler::_TaskExecutionPump", L"Continuing with Q execution pump");
        ::PostMessageW(m_parts.m_window.get(), kPumpMessage, 0, 0);
    }
}

} // namespace Keelwork::engine
