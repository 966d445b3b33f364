// Tessel::TaskSchedulerImpl: the scheduler module the host creates. At initialization it
// subscribes to its sixteen bus messages; nine serve the JSON task-management protocol through
// Orbis::TaskManagement under one lock, three forward a log-on and the auto-maintenance switch
// to the engine, and four explain the tasks and run one now (TaskSchedulerInsight.cpp).
//
// Handlers run on the bus client's delivery threads, several at once; m_lock makes the
// task-management calls mutually exclusive, while parsing and publishing happen outside it.
#pragma once

#include "module/BaseModule.h"
#include "module/EngineThread.h"
#include "module/RequestWorkers.h"
#include "module/TaskRequestWorker.h"

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace Orbis {
class TaskManagement;
}

namespace Tessel {

class WindowsEventAPI;

class TaskSchedulerImpl : public BaseModule {
public:
    using Handler = MessageCallback;
    using HandlerTable = std::vector<std::pair<const wchar_t*, Handler>>;

    // Null arguments get the production implementations.
    TaskSchedulerImpl(std::shared_ptr<WindowsEventAPI> eventApi, std::shared_ptr<Orbis::TaskManagement> taskManagement);
    ~TaskSchedulerImpl() override;

    // Fills the handler table and subscribes it.
    ModuleStatus initialize() override;
    // Opens the request workers again after a stop; creates the exit and started events and starts
    // the engine thread; does not wait for it.
    // While an engine thread runs, a second start starts nothing.
    ModuleStatus start() override;
    // Stops the request workers (every question taken is answered first), sets the exit event,
    // joins the engine thread and closes both events. Always 0; the destructor does the same for a
    // host that never calls it.
    ModuleStatus stop() override;

    // Subscribes every row in table order; the first failure ends the loop and is returned.
    ModuleStatus subscribeMessages();

    ModuleStatus setAutoMaintenanceMode();
    ModuleStatus stopAutoMaintenanceMode();

    const HandlerTable& handlers() const { return m_handlers; }

private:
    void fillHandlerTable();
    ModuleStatus signalLogon();
    bool switchAutoMaintenanceMode(bool on);
    Handler singleNameHandler(const wchar_t* replyName, TaskReplyForm form, SingleNameCall call);
    Handler nameListHandler(const wchar_t* replyName, NameListCall call);
    // Explain, History, Preview and RunNow.
    void addInsightHandlers();
    // A handler whose reply text is `reply(payload)`.
    Handler replyHandler(const wchar_t* replyName, std::function<std::wstring(const std::wstring&)> reply);
    // Answers at once, or hands an "ifDueNow" question to m_workers, which publishes the reply.
    ModuleStatus explain(const std::shared_ptr<Message>& request);
    // Publishes `responseText` as `replyName`, correlated with `request` when it asked for a reply.
    void publishReply(const Message& request, const wchar_t* replyName, const std::wstring& responseText);

    std::shared_ptr<WindowsEventAPI> m_eventApi;
    HandlerTable m_handlers;
    std::shared_ptr<Orbis::TaskManagement> m_taskManagement;
    // After m_eventApi, which it uses: destroyed first.
    EngineThread m_engine;
    // Serializes every call into m_taskManagement made by the handlers.
    std::mutex m_lock;
    // Last: its threads publish through the module, so they end before anything else goes. A few
    // workers suffice for questions people ask; a queue a little deeper than that rides out a
    // burst, and more is refused as busy rather than held.
    RequestWorkers m_workers{4, 16};
};

} // namespace Tessel
