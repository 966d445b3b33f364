// CKsTaskManager::RunAndPopTopTask: launching the head task of the queue and reporting it.
#include "engine/TaskManager.h"

#include "platform/PlatformProbes.h"
#include "execution/TaskExecutionNames.h"
#include "logging/internal_logging.h"
#include "message/JSONFormatter.h"
#include "message/Message.h"
#include "messagebus/MessageBusClient.h"

namespace Keelwork::engine {
namespace {

namespace names = KsExecution::names;

constexpr DWORD kNotInMap = 13;
constexpr DWORD kExitedByEngine = 1602;
constexpr DWORD kRestartPending = 1604;
constexpr wchar_t kUpdateTask[] = L"ksupdtsk";

void publish(const std::shared_ptr<Tessel::MessageBusClient>& bus, const wchar_t* topic, const std::wstring& name,
             const Tessel::JSONFormatter& payload)
{
    if (!bus)
        return;
    if (auto message = Tessel::Message::create(std::wstring(topic) + L"." + name, names::kSenderAlias,
                                               payload.serialize()))
        bus->publish(message);
}

} // namespace

DWORD CKsTaskManager::RunAndPopTopTask(std::wstring& nameOut, const std::shared_ptr<Tessel::MessageBusClient>& bus)
{
    std::unique_ptr<QueueItem> item = m_queue.pop();
    if (!item)
        return 0;
    nameOut = item->name;
    item.reset();
    KSLOG_NORMAL(L"Getting ready to launch task %s", nameOut.c_str());
    // The reports are written by the JSON writer, not pasted together: a name holding a quotation
    // mark or a control character is escaped, so every client can parse them.
    Tessel::JSONFormatter report;
    report.setString(names::kNameMember, nameOut);
    publish(bus, names::kLaunchAttemptTopic, nameOut, report);

    auto found = m_tasks.find(nameOut);
    if (found == m_tasks.end() || !found->second) {
        KSLOG_ERROR(L"Somehow could not find this task in our internal task map. Cannot execute");
        report.setString(names::kReasonMember, L"error");
        report.setUInt(names::kErrorCodeMember, kNotInMap);
        publish(bus, names::kDeferredTopic, nameOut, report);
        return kNotInMap;
    }
    KSLOG_NORMAL(L"Now launching task");
    DWORD deleted = 0;
    if (bus)
        found->second->UseBus(bus);
    const DWORD result = found->second->Launch(&deleted, m_dwFinishWait, m_hExitEvent);
    KSLOG_NORMAL(L"Returning after task execution. Returns: %d", result);
    if (deleted) {
        KSLOG_NORMAL(L"The task has been deleted, maybe because it had no default frequency set. Removing it from our "
                     L"internal memory list");
        m_tasks.erase(found);
    } else {
        readRetryTime(*found->second);  // the launch cleared or moved it
    }
    if (result == kExitedByEngine)
        return kExitedByEngine;
    if (nameOut == kUpdateTask) {
        KSLOG_INFO(L"This task was an update task. Checking if a reboot is pending");
        if (IsRestartPending()) {
            KSLOG_INFO(L"A reboot is pending. Task scheduler will be SUSPENDED");
            return kRestartPending;
        }
    }
    return 0;
}

} // namespace Keelwork::engine
