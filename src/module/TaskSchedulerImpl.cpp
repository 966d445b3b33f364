// Tessel::TaskSchedulerImpl: the handler table, its subscription, and the handlers' common frame.
#include "module/TaskSchedulerImpl.h"

#include "engine/EngineNames.h"
#include "engine/RunningEngine.h"
#include "engine/TaskScheduler.h"
#include "logging/internal_logging.h"
#include "management/TaskManagement.h"
#include "message/JSONFormatter.h"
#include "message/Message.h"
#include "module/ModuleGuard.h"
#include "module/SchedulerModuleNames.h"
#include "module/WindowsEventAPI.h"

namespace Tessel {

TaskSchedulerImpl::TaskSchedulerImpl(std::shared_ptr<WindowsEventAPI> eventApi,
                                     std::shared_ptr<Orbis::TaskManagement> taskManagement)
    : BaseModule(nullptr),
      m_eventApi(eventApi ? std::move(eventApi) : std::make_shared<WindowsEventAPI>()),
      m_taskManagement(taskManagement ? std::move(taskManagement) : std::make_shared<Orbis::TaskManagement>()),
      m_engine(*m_eventApi)
{
}

TaskSchedulerImpl::~TaskSchedulerImpl() = default;

ModuleStatus TaskSchedulerImpl::initialize()
{
    fillHandlerTable();
    return subscribeMessages();
}

ModuleStatus TaskSchedulerImpl::start()
{
    m_workers.resume();
    if (m_engine.running()) {
        KSLOG_WARNING(L"The engine is already running; this start changes nothing.");
        return MODULE_STATUS_SUCCESS;
    }
    switch (m_engine.start()) {
    case EngineThread::Start::started:
        return MODULE_STATUS_SUCCESS;
    case EngineThread::Start::noEvents:
        KSLOG_CRITICAL(L"Error no more resources while creating TS handles. Exiting.");
        return MODULE_STATUS_UNSUCCESSFUL;
    default:
        return MODULE_STATUS_UNSUCCESSFUL;
    }
}

ModuleStatus TaskSchedulerImpl::stop()
{
    m_workers.stop();
    m_engine.stop();
    return MODULE_STATUS_SUCCESS;
}

ModuleStatus TaskSchedulerImpl::subscribeMessages()
{
    for (const auto& [name, handler] : m_handlers) {
        ModuleStatus status = subscribe(name, handler);
        if (status != MODULE_STATUS_SUCCESS) {
            KSLOG_ERROR(L"Unable to subscribe to message %ls : returning %lu.", name,
                        static_cast<unsigned long>(status));
            return status;
        }
    }
    return MODULE_STATUS_SUCCESS;
}

// The engine is reached through the running-engine link, which keeps it alive for the call. The
// warning is logged by each caller, so the line names the handler it came from.
bool TaskSchedulerImpl::switchAutoMaintenanceMode(bool on)
{
    return Keelwork::engine::switchRunningEngineAMMode(on);
}

ModuleStatus TaskSchedulerImpl::setAutoMaintenanceMode()
{
    if (switchAutoMaintenanceMode(true))
        return MODULE_STATUS_SUCCESS;
    KSLOG_WARNING(L"Failed to get task scheduler instance.");
    return MODULE_STATUS_INVALID_STATE;
}

ModuleStatus TaskSchedulerImpl::stopAutoMaintenanceMode()
{
    if (switchAutoMaintenanceMode(false))
        return MODULE_STATUS_SUCCESS;
    KSLOG_WARNING(L"Failed to get task scheduler instance.");
    return MODULE_STATUS_INVALID_STATE;
}

// The event exists only while the engine runs; without it a log-on needs no forwarding.
ModuleStatus TaskSchedulerImpl::signalLogon()
{
    WindowsEventHandle event(*m_eventApi,
                             m_eventApi->OpenEvent(EVENT_MODIFY_STATE, FALSE, Keelwork::engine::kLogonEvent));
    if (event)
        m_eventApi->SetEvent(event.get());
    return MODULE_STATUS_SUCCESS;
}

void TaskSchedulerImpl::fillHandlerTable()
{
    namespace N = ModuleNames;
    using Names = std::vector<std::wstring>;
    Orbis::TaskManagement& tm = *m_taskManagement;
    const TaskReplyForm plain = TaskReplyForm::StatusAndName;
    const TaskReplyForm withText = TaskReplyForm::CallTextAndName;

    m_handlers.clear();
    m_handlers.emplace_back(N::kUserLogon, [this](std::shared_ptr<Message>) {
        return guardStatus([&] { return signalLogon(); });
    });
    m_handlers.emplace_back(N::kSetAutoMaintenanceMode, [this](std::shared_ptr<Message>) {
        return guardStatus([&] { return setAutoMaintenanceMode(); });
    });
    m_handlers.emplace_back(N::kStopAutoMaintenanceMode, [this](std::shared_ptr<Message>) {
        return guardStatus([&] { return stopAutoMaintenanceMode(); });
    });
    m_handlers.emplace_back(N::kTaskModify,
        singleNameHandler(N::kTaskModified, plain, [&tm](const std::wstring& name, const std::wstring& payload,
                                                         std::wstring&) { return tm.modifyTask(name, payload); }));
    m_handlers.emplace_back(N::kTaskCreate,
        singleNameHandler(N::kTaskCreated, plain, [&tm](const std::wstring& name, const std::wstring& payload,
                                                        std::wstring&) { return tm.createTask(name, payload); }));
    m_handlers.emplace_back(N::kTaskDelete,
        singleNameHandler(N::kTaskDeleted, plain, [&tm](const std::wstring& name, const std::wstring&, std::wstring&) {
            return tm.deleteTask(name.c_str()) != FALSE;
        }));
    m_handlers.emplace_back(N::kTaskEnable,
        singleNameHandler(N::kTaskEnabled, plain, [&tm](const std::wstring& name, const std::wstring&, std::wstring&) {
            return tm.enableTask(name.c_str()) != FALSE;
        }));
    m_handlers.emplace_back(N::kTaskDisable,
        singleNameHandler(N::kTaskDisabled, plain, [&tm](const std::wstring& name, const std::wstring&, std::wstring&) {
            return tm.disableTask(name.c_str()) != FALSE;
        }));
    m_handlers.emplace_back(N::kTaskQuery,
        singleNameHandler(N::kTaskQueryResponse, withText,
                          [&tm](const std::wstring& name, const std::wstring&, std::wstring& text) {
                              return tm.queryTask(name, text);
                          }));
    m_handlers.emplace_back(N::kTaskBroadcastRegister,
        nameListHandler(N::kTaskBroadcastRegistered,
                        [&tm](const Names& names, std::wstring& text) { return tm.registerBroadcast(names, text); }));
    m_handlers.emplace_back(N::kTaskBroadcastUnRegister,
        nameListHandler(N::kTaskBroadcastUnRegistered,
                        [&tm](const Names& names, std::wstring& text) { return tm.unregisterBroadcast(names, text); }));
    m_handlers.emplace_back(N::kTaskGetPresets,
        singleNameHandler(N::kTaskGetPresetsResponse, withText,
                          [&tm](const std::wstring& category, const std::wstring&, std::wstring& text) {
                              return tm.getPresets(category, text);
                          }));
    addInsightHandlers();
}

TaskSchedulerImpl::Handler TaskSchedulerImpl::singleNameHandler(const wchar_t* replyName, TaskReplyForm form,
                                                                SingleNameCall call)
{
    return [this, replyName, form, call = std::move(call)](std::shared_ptr<Message> request) {
        return guardStatus([&] {
            if (!request)
                return MODULE_STATUS_INVALID_PARAMETER;
            JSONFormatter response;
            response.setBool(ModuleNames::kStatusMember, false);
            ModuleStatus status = guardStatus(
                [&] { return runSingleNameRequest(request->payload(), form, m_lock, call, response); });
            publishReply(*request, replyName, response.serialize());
            return status;
        });
    };
}

TaskSchedulerImpl::Handler TaskSchedulerImpl::nameListHandler(const wchar_t* replyName, NameListCall call)
{
    return [this, replyName, call = std::move(call)](std::shared_ptr<Message> request) {
        return guardStatus([&] {
            if (!request)
                return MODULE_STATUS_INVALID_PARAMETER;
            JSONFormatter response;
            response.setBool(ModuleNames::kStatusMember, false);
            ModuleStatus status =
                guardStatus([&] { return runNameListRequest(request->payload(), m_lock, call, response); });
            publishReply(*request, replyName, response.serialize());
            return status;
        });
    };
}

void TaskSchedulerImpl::publishReply(const Message& request, const wchar_t* replyName, const std::wstring& responseText)
{
    std::shared_ptr<Message> reply = Message::createReply(request, replyName, name(), responseText);
    if (reply)
        publish(reply);
}

} // namespace Tessel
