// Orbis::TaskManagement's per-task change broadcasts: registration, unregistration and the
// "TaskScheduler.Task.Update" publication.
//
// broadcastTasksUpdate also runs on the monitors' watcher threads without the module's lock: it
// touches no member, only reads task keys and publishes through bus clients of its own.
#include "management/TaskManagement.h"

#include "logging/internal_logging.h"
#include "management/BroadcastNames.h"
#include "management/TMRegisterMonitor.h"
#include "message/JSONFormatter.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"
#include "store/KsTask.h"

namespace Orbis {
namespace {

// Publishes through a client made for this one message, never the module's own: the watcher
// threads must not share it. MODULE_STATUS_* of the publish; a bus that cannot be reached
// counts as a failed publish.
Tessel::ModuleStatus publishAlone(const wchar_t* messageName, const std::wstring& payload)
{
    try {
        auto message = Tessel::Message::create(messageName, BroadcastNames::kSenderAlias, payload);
        if (!message)
            return Tessel::MODULE_STATUS_UNSUCCESSFUL;
        Tessel::MessageBusClient client;
        return client.publish(message);
    } catch (...) {
        return Tessel::MODULE_STATUS_UNKNOWN_EXCEPTION;
    }
}

// Event-triggered tasks store no parameters; their update still carries the member.
const wchar_t* textOrEmpty(const wchar_t* text)
{
    return text ? text : L"";
}

void appendTaskObject(Tessel::JSONFormatter& update, const std::wstring& name, const CKsTask& task)
{
    Tessel::JSONFormatter item;
    item.setString(BroadcastNames::kName, name);
    item.setUInt64(BroadcastNames::kType, task.dwTaskType);
    item.setString(BroadcastNames::kCompleteEvent, L"");
    item.setUInt64(BroadcastNames::kDefaultFrequency, task.dwDefaultFreq);
    item.setUInt64(BroadcastNames::kNextRun, task.dwNextRun);
    item.setString(BroadcastNames::kTrigger, textOrEmpty(task.pwszTaskTrigger));
    item.setString(BroadcastNames::kParams, textOrEmpty(task.pwszTaskParams));
    update.appendObject(BroadcastNames::kTasks, item);
}

void requestUnregister(const std::wstring& name)
{
    Tessel::JSONFormatter payload;
    payload.setStringArray(BroadcastNames::kName, {name});
    publishAlone(BroadcastNames::kUnregisterMessage, payload.serialize());
}

} // namespace

bool TaskManagement::registerBroadcast(const std::vector<std::wstring>& names, std::wstring& text)
{
    Tessel::JSONFormatter reply;
    std::vector<std::wstring> registered;
    for (const std::wstring& name : names) {
        if (m_broadcastRegistrations.count(name) == 0) {
            CKsTask task(name.c_str());
            if (!task.Read()) {
                KSLOG_ERROR(L"Unable to register due to read failure,task %s", name.c_str());
                continue;
            }
            auto monitor = std::make_shared<TMRegisterMonitor>(
                name, [this](const std::wstring& changed) { broadcastTasksUpdate({changed}); });
            m_broadcastRegistrations.emplace(name, std::move(monitor));
        }
        registered.push_back(name);
        reply.appendString(BroadcastNames::kName, name);
    }
    text = reply.serialize();
    broadcastTasksUpdate(registered);
    return !registered.empty();
}

bool TaskManagement::unregisterBroadcast(const std::vector<std::wstring>& names, std::wstring& text)
{
    Tessel::JSONFormatter reply;
    bool removed = false;
    for (const std::wstring& name : names) {
        if (m_broadcastRegistrations.erase(name) == 0)
            continue;
        reply.appendString(BroadcastNames::kName, name);
        removed = true;
    }
    text = reply.serialize();
    return removed;
}

void TaskManagement::broadcastTasksUpdate(const std::vector<std::wstring>& names)
{
    Tessel::JSONFormatter update;
    for (const std::wstring& name : names) {
        CKsTask task(name.c_str());
        if (task.Read()) {
            appendTaskObject(update, name, task);
            continue;
        }
        KSLOG_WARNING(L"In BroadcastTasksUpdate, Failed to read task %s", name.c_str());
        requestUnregister(name);
    }
    if (publishAlone(BroadcastNames::kUpdateMessage, update.serialize()) != Tessel::MODULE_STATUS_SUCCESS)
        KSLOG_ERROR(L"Failed to publish: %s", BroadcastNames::kUpdateMessage);
}

} // namespace Orbis
