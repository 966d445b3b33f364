// The engine's answers to what wakes it: the loop's handles (the timer, new tasks, log-ons,
// auto-maintenance), its window's messages (timers, log-ons, the pump, run-now requests, power
// notifications), the installer's message and what other threads ask of it.
//
// Threading: the engine thread, except requestAMMode and requestRunNow (any thread: the switch
// and the request list have their own locks, and what the engine must do is posted to it) and
// OnInstallComplete (a bus thread: the start gate's atomic flags and a posted message).
#pragma once

#include "engine/EngineLoop.h"
#include "engine/EngineSteps.h"
#include "engine/EngineWindow.h"
#include "engine/RunningEngine.h"

#include <memory>
#include <string>

namespace Tessel {
class Message;
}

namespace Keelwork::engine {

class EngineEvents final : public EngineLoopHandler, public EngineWindowHandler {
public:
    EngineEvents(EngineParts& parts, EngineSteps& steps) : m_parts(parts), m_steps(steps) {}

    // EngineLoopHandler.
    void onTimer() override;
    void onNewTask() override;
    void onChangedTasks() override;
    void onLogon() override;
    void onAutoMaintenance() override;
    void onReadAhead() override;
    void betweenSteps() override;

    // EngineWindowHandler.
    LRESULT onWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    uint32_t OnInstallComplete(const std::shared_ptr<Tessel::Message>& message);
    std::unique_ptr<AutoMaintenanceResponse> requestAMMode(bool on);
    void requestRunNow(const std::wstring& name);

private:
    bool _Handle_WM_TIMER(UINT_PTR id);
    void _JustBeforeSuspend();
    void _ResumeAfterSuspend();
    void _SuspendWasAborted();

    EngineParts& m_parts;
    EngineSteps& m_steps;
};

} // namespace Keelwork::engine
